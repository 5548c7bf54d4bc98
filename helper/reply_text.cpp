#include "helper/reply_text.h"

#include "shared/util/text.h"
#include "shared/util/utf8.h"

namespace korvane::helper {

std::string trimmedToolOutput(std::string_view bytes) {
    if (!isValidUtf8(bytes)) return {};
    return std::string(trimmed(bytes, " \t\n\r\v\f"));
}

}  // namespace korvane::helper
