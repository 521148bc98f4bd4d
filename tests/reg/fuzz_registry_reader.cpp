// libFuzzer entry: the registry reader must survive any input, and whatever
// it accepts must be written back in a form it reads to the same tree.
#include "platform/reg/registry_text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  quavix::reg::RegKey root;
  if (!quavix::reg::ParseRegistryText(text, &root)) return 0;
  std::string again = quavix::reg::SerializeRegistryText(root);
  quavix::reg::RegKey back;
  if (!quavix::reg::ParseRegistryText(again, &back) || !(back == root)) std::abort();
  return 0;
}
