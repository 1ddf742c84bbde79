#!/usr/bin/python3
"""The Dask recipe on a LocalCluster of two worker processes, against one
`vocs run --jobs 1` over the same records, byte for byte.

VOCS_BIN names the vocs command to test (libvocs.so beside it)."""
import os
import random
import sqlite3
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vocs_dask  # noqa: E402

from distributed import Client, LocalCluster  # noqa: E402

VOCS = os.environ.get("VOCS_BIN", "vocs")


def vocs(*args):
    done = subprocess.run([VOCS] + list(args), capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError("vocs %s failed:\n%s" % (args[0], done.stderr))
    return done.stdout


class DaskRecipeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.db = os.path.join(cls.dir.name, "corpus.db")
        words = ["明月", "春风", "故乡", "alpha", "bravo", "charlie", "山水", "delta", "白云"]
        rng = random.Random(5)
        rows = ["title\tbody"]
        for i in range(83):
            body = "".join(rng.choice(words[: rng.randint(1, len(words))]) + rng.choice(" 。")
                           for _ in range(0 if i % 10 == 0 else rng.randint(1, 14)))
            rows.append("%s %s\t%s" % (rng.choice(words), rng.choice(words), body))
        tsv = os.path.join(cls.dir.name, "docs.tsv")
        with open(tsv, "w", encoding="utf-8") as f:
            f.write("\n".join(rows) + "\n")
        vocs("import", "--db", cls.db, "--table", "docs", tsv)
        cls.shared = os.path.join(cls.dir.name, "shared")
        os.mkdir(cls.shared)
        cls.client = Client(LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                         dashboard_address=None))

    @classmethod
    def tearDownClass(cls):
        cls.client.close()
        cls.client.cluster.close()
        cls.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def table(self, name):
        with sqlite3.connect(self.db) as db:
            rows = db.execute('SELECT * FROM "%s"' % name).fetchall()
            columns = [c[1:3] for c in db.execute('PRAGMA table_info("%s")' % name)]
        return rows, columns

    def test_frequency_to_a_file_through_a_shared_directory(self):
        statement = "STAT WORDFREQ AT body(NORMAL) TO FILE=%s WHERE SELECT body FROM docs"
        vocs("run", "--db", self.db, "--jobs", "1", statement % self.path("one.txt"))
        out = vocs_dask.run_statement(self.client, VOCS, self.db, statement % self.path("x"), 5,
                                      "FILE=" + self.path("dask.txt"), shared=self.shared)
        self.assertIn("merged 5 partial results", out)
        with open(self.path("one.txt"), "rb") as a, open(self.path("dask.txt"), "rb") as b:
            expected = a.read()
            self.assertGreater(len(expected), 100)
            self.assertEqual(b.read(), expected)
        self.assertEqual(os.listdir(self.shared), [], "partials left in the shared directory")
        # Both workers took part.
        self.assertEqual(len(self.client.scheduler_info()["workers"]), 2)

    def test_cooccurrence_to_a_table_with_partials_as_bytes(self):
        statement = ("STAT ASSOCIATEDFREQ AT title(NORMAL), body(NORMAL) TO TABLE=%s "
                     "WHERE SELECT * FROM docs")
        vocs("run", "--db", self.db, "--jobs", "1", statement % "one")
        # More shards than a worker has slots, one of them empty of records.
        vocs_dask.run_statement(self.client, VOCS, self.db, statement % "x", 90,
                                "TABLE=dask", transfer="bytes")
        expected = self.table("one")
        self.assertGreater(len(expected[0]), 50)
        self.assertEqual(self.table("dask"), expected)

    def test_a_failing_shard_fails_the_run_with_its_message(self):
        statement = "STAT WORDFREQ AT nosuch(NORMAL) TO TABLE=never WHERE SELECT body FROM docs"
        with self.assertRaises(vocs_dask.ShardFailed) as failure:
            vocs_dask.run_statement(self.client, VOCS, self.db, statement, 3, "TABLE=never",
                                    shared=self.shared)
        self.assertIn("no column", str(failure.exception))
        with sqlite3.connect(self.db) as db:
            self.assertEqual(db.execute("SELECT count(*) FROM sqlite_master WHERE name='never'")
                             .fetchone()[0], 0)


if __name__ == "__main__":
    unittest.main()
