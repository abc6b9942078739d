// The minidump reader. Input: the dump's bytes. Whatever the directory and
// streams say, nothing is read outside the input (ASan), a dump that reads
// names only threads and modules its streams hold, and the module found for
// an address holds it.
#include <string>
#include <vector>

#include "support/minidump_reader.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly the input's size, so any read past it is caught.
  std::vector<unsigned char> dump(data, data + size);
  MinidumpSummary summary;
  std::string error;
  if (!ReadMinidump(dump.empty() ? nullptr : dump.data(), dump.size(), summary, error)) {
    KS_FUZZ_CHECK(!error.empty());
    return 0;
  }
  KS_FUZZ_CHECK(size >= 32);
  KS_FUZZ_CHECK(static_cast<unsigned long long>(summary.thread_count) * 48 <= size);
  KS_FUZZ_CHECK(summary.modules.size() * 108 <= size);
  if (summary.has_exception) {
    const MinidumpModule* module = ModuleHolding(summary, summary.exception_address);
    if (module != nullptr)
      KS_FUZZ_CHECK(summary.exception_address >= module->base &&
                    summary.exception_address - module->base < module->size);
  }
  return 0;
}
