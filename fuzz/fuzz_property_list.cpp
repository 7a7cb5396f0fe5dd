// Feeds arbitrary bytes to the property-list readers (XML, binary and JSON) and writes out what
// they read. Deep nesting, cycles in binary files and broken encodings must end in an error.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "QVPlatform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::Value v = qv::PropertyList::read(data, size, nullptr);
  if (!v.isNull()) {
    if (auto xml = qv::PropertyList::toXML(v, nullptr)) (void)qv::PropertyList::read(*xml, nullptr);
    (void)qv::PropertyList::toBinary(v, nullptr);
  }
  qv::Value j = qv::PropertyList::fromJSON(std::string_view(reinterpret_cast<const char*>(data), size), nullptr);
  if (!j.isNull()) (void)qv::PropertyList::toJSON(j, false, nullptr);
  return 0;
}
