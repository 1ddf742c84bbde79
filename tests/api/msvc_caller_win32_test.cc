// The module object driven as a server compiled with MSVC drives it on 32-bit
// Windows: vocs.dll loaded with LoadLibrary, the object made by
// PlugModule_CreateInstance, and every one of its nine slots called through
// its table with the this-call convention as MSVC emits it: the arguments
// pushed right to left, the object in ECX, EDX holding garbage, a stack that
// is only 4-byte aligned, and the callee removing its arguments. A slot that
// reads the object from the stack, reads EDX, or leaves the stack unbalanced
// fails here (or crashes the program, which fails it as well).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/loaded_library.h"
#include "support/recording_host.h"
#include "support/temp_dir.h"
#include "vocs/errors.h"
#include "vocs/module.h"

#if defined(__i386__)

// int32_t CallSlotAsMsvc(void* object, void* function, const int32_t* args,
//                        int32_t count, int32_t* bytes_left, int32_t misalign);
// cdecl. Calls function(object; args[0..count)) as described above and
// returns EAX; *bytes_left is what the callee left of its arguments on the
// stack (0 when it removed exactly its own). `misalign` bytes are taken off a
// 16-byte boundary before the arguments go on the stack.
asm(R"(
  .text
  .globl _CallSlotAsMsvc
_CallSlotAsMsvc:
  .intel_syntax noprefix
  push ebp
  mov ebp, esp
  push ebx
  push esi
  push edi
  mov edi, esp
  and esp, -16
  sub esp, [ebp + 28]
  mov ebx, esp
  mov ecx, [ebp + 20]
  mov esi, [ebp + 16]
1:
  test ecx, ecx
  jz 2f
  push dword ptr [esi + ecx * 4 - 4]
  dec ecx
  jmp 1b
2:
  mov ecx, [ebp + 8]
  mov edx, 0xDEADBEEF
  mov eax, 0xBAADF00D
  call dword ptr [ebp + 12]
  mov ecx, ebx
  sub ecx, esp
  mov esp, edi
  mov edx, [ebp + 24]
  mov [edx], ecx
  pop edi
  pop esi
  pop ebx
  pop ebp
  ret
  .att_syntax prefix
)");

extern "C" int32_t CallSlotAsMsvc(void* object, void* function, const int32_t* args,
                                  int32_t count, int32_t* bytes_left, int32_t misalign);

namespace vocs {
namespace {

using testing::LoadedLibrary;
using testing::RecordingHost;
using testing::ScopedTempDir;

// Slots of the module object.
enum Slot : int {
  kRelease = 0,
  kReserved1 = 1,
  kExecute = 2,
  kReserved3 = 3,
  kReserved4 = 4,
  kReserved5 = 5,
  kSetHostInterface = 6,
  kSetHostValue = 7,
  kDestroy = 8,
};

int32_t Arg(const void* pointer) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(pointer));
}

class MsvcCallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.ok()) << library_.path() << ": " << library_.error();
    create_ = library_.Get<PlugModuleCreateFunction>("PlugModule_CreateInstance");
    ASSERT_NE(create_, nullptr);
  }

  PlugModuleInterface* Create() {
    PlugModuleInterface* module = nullptr;
    EXPECT_EQ(create_("vocs", &module), 0);
    return module;
  }

  // Calls slot `slot` of `module` with every stack alignment a caller may
  // leave, expecting each call to remove exactly its arguments; returns EAX
  // of the last call.
  int32_t Call(PlugModuleInterface* module, int slot, std::vector<int32_t> args,
               int alignments = 4) {
    void* const* table = *reinterpret_cast<void* const* const*>(module);
    int32_t result = 0;
    for (int misalign = 0; misalign < 4 * alignments; misalign += 4) {
      int32_t bytes_left = -1;
      result = CallSlotAsMsvc(module, table[slot], args.data(), static_cast<int32_t>(args.size()),
                              &bytes_left, misalign);
      EXPECT_EQ(bytes_left, 0) << "slot " << slot << ", stack 16n-" << misalign;
    }
    return result;
  }

  LoadedLibrary library_;
  PlugModuleCreateFunction create_ = nullptr;
  RecordingHost host_;
  ScopedTempDir dir_;
};

TEST_F(MsvcCallerTest, EverySlotTakesThisInEcxAndRemovesItsArguments) {
  PlugModuleInterface* module = Create();
  ASSERT_NE(module, nullptr);
  host_.SetTable({"title", "body"}, {{"t0", "abcd;efgh;abcd"}, {"t1", "efgh;ijkl"}});

  Call(module, kSetHostInterface, {Arg(&host_)});
  Call(module, kSetHostValue, {42});
  Call(module, kReserved1, {});
  EXPECT_EQ(Call(module, kReserved3, {}) & 0xFF, 1);  // bool true in AL
  Call(module, kReserved4, {7});
  EXPECT_EQ(Call(module, kReserved5, {7}) & 0xFF, 1);

  // Execute: the request pointer and three values. The statement reads the
  // host's table, so the host given through slot 6 arrived whole.
  const std::string out = dir_.Sub("words.txt");
  const std::string statement = std::string("sql!\0", 5) +
                                "STAT WORDFREQ AT body(SEGASCOL, ;) TO FILE=\"" + out +
                                "\" WHERE SELECT * FROM docs";
  EXPECT_EQ(Call(module, kExecute, {Arg(statement.c_str()), 1, 2, 3}, 1), 0);
  const std::string result = testing::ReadFileOrMissing(out);
  EXPECT_NE(result.find("\r\nabcd\t2\t1\t2\t2\t0\t1.0000\r\n"), std::string::npos) << result;
  EXPECT_NE(result.find("\r\nijkl\t1\t1\t1\t1\t0\t0.5000\r\n"), std::string::npos) << result;
  ASSERT_FALSE(host_.log().empty());
  EXPECT_EQ(host_.log().front(), "runStatement(SELECT * FROM docs,0)");
  const std::string bad("sql", 4);
  EXPECT_EQ(Call(module, kExecute, {Arg(bad.c_str()), 0, 0, 0}), VOCS_E_BAD_ARGUMENT);

  // Destroy with bit 0 set frees the object and returns it.
  EXPECT_EQ(Call(module, kDestroy, {1}, 1), Arg(module));

  // Release destroys and frees a second object.
  PlugModuleInterface* second = Create();
  ASSERT_NE(second, nullptr);
  Call(second, kRelease, {}, 1);
}

}  // namespace
}  // namespace vocs

#else

TEST(MsvcCallerTest, EverySlotTakesThisInEcxAndRemovesItsArguments) {
  GTEST_SKIP() << "the this-call convention exists on 32-bit x86 only";
}

#endif
