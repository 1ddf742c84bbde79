#!/usr/bin/python3
"""Runs one vocs statement on a Dask cluster: the map step (one shard of the
statement's records per task, `vocs run --shard K/N --partial FILE`) on the
workers, the reduce step (`vocs merge`) on one of them.

Every worker needs the vocs command (and libvocs.so beside it) at the path
given by --vocs, and the database (or the FROM files) at the path the
statement names: a shared file system, or copies at the same place. Partial
results go to --shared (a directory every worker can read and write), or,
with --transfer bytes, travel through the cluster as task results, so that
the workers share nothing but the inputs.

    vocs_dask.py --scheduler tcp://host:8786 --vocs /opt/vocs/bin/vocs \\
        --db /data/corpus.db --shards 64 --shared /data/partials \\
        "STAT WORDFREQ AT body(NORMAL) TO TABLE=words WHERE SELECT body FROM docs" \\
        --to TABLE=words

Without --scheduler a LocalCluster of --local worker processes is started.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from distributed import Client, LocalCluster


class ShardFailed(RuntimeError):
    """A map or reduce step failed; the message is the command's own."""


def _run(command, step):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        raise ShardFailed("%s exited with %d:\n%s%s" % (
            step, done.returncode, done.stdout, done.stderr))
    return done.stdout


def map_shard(vocs, db, statement, shard, shards, partial, as_bytes, encoding="auto"):
    """Counts shard `shard` of `shards` into `partial`; its bytes when
    `as_bytes` (the file is then removed), else its path."""
    command = [vocs, "run", "--jobs", "1", "--encoding", encoding,
               "--shard", "%d/%d" % (shard, shards), "--partial", partial]
    if db:
        command += ["--db", db]
    _run(command + [statement], "the shard %d/%d" % (shard, shards))
    if not as_bytes:
        return partial
    with open(partial, "rb") as f:
        data = f.read()
    os.remove(partial)
    return data


def reduce_partials(vocs, db, partials, target, work_dir=None):
    """Merges the partials (paths, or bytes written to a directory of the
    merging worker first) and delivers them to `target` ("FILE=..." or
    "TABLE=...")."""
    with tempfile.TemporaryDirectory(dir=work_dir) as scratch:
        paths = []
        for k, partial in enumerate(partials):
            if isinstance(partial, bytes):
                path = os.path.join(scratch, "part-%d" % (k + 1))
                with open(path, "wb") as f:
                    f.write(partial)
                partial = path
            paths.append(partial)
        command = [vocs, "merge"]
        if db:
            command += ["--db", db]
        return _run(command + paths + ["TO", target], "the merge")


def run_statement(client, vocs, db, statement, shards, target, shared=None,
                  transfer="files", encoding="auto"):
    """Runs `statement` as `shards` map tasks and one reduce task on the
    cluster of `client`; returns what `vocs merge` printed."""
    as_bytes = transfer == "bytes"
    if not as_bytes and not shared:
        raise ValueError("--transfer files needs --shared DIR")
    scratch = shared or tempfile.gettempdir()
    run_id = "vocs-%d-%s" % (os.getpid(), os.urandom(4).hex())
    partials = [os.path.join(scratch, "%s-part-%d" % (run_id, k)) for k in range(1, shards + 1)]
    futures = [client.submit(map_shard, vocs, db, statement, k, shards, partials[k - 1],
                             as_bytes, encoding, key="%s-map-%d" % (run_id, k), pure=False)
               for k in range(1, shards + 1)]
    merged = client.submit(reduce_partials, vocs, db, futures, target,
                           key="%s-reduce" % run_id, pure=False)
    try:
        return merged.result()
    finally:
        if not as_bytes:
            for path in partials:
                if os.path.exists(path):
                    os.remove(path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("statement", help="the vocs statement (its TO clause is replaced by --to)")
    parser.add_argument("--to", required=True, help="FILE=name or TABLE=name")
    parser.add_argument("--vocs", default="vocs", help="the vocs command on the workers")
    parser.add_argument("--db", default="", help="the database, at the same path on every worker")
    parser.add_argument("--shards", type=int, default=0, help="map tasks (default: 2 per worker)")
    parser.add_argument("--shared", default="", help="a directory every worker shares, for partials")
    parser.add_argument("--transfer", choices=["files", "bytes"], default="files")
    parser.add_argument("--encoding", default="auto")
    parser.add_argument("--scheduler", default="", help="address of the cluster's scheduler")
    parser.add_argument("--local", type=int, default=2, help="worker processes of a LocalCluster")
    args = parser.parse_args(argv)
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=args.local, threads_per_worker=1, processes=True))
    with client:
        workers = max(1, len(client.scheduler_info()["workers"]))
        shards = args.shards or 2 * workers
        try:
            print(run_statement(client, args.vocs, os.path.abspath(args.db) if args.db else "",
                                args.statement, shards, args.to, args.shared or None,
                                args.transfer, args.encoding), end="")
        except ShardFailed as failure:
            print("vocs_dask: %s" % failure, file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
