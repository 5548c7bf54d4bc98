#include "app/focus/name_collator.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <cstdlib>

namespace korvane::app {
namespace {

// A POSIX locale name ("de_DE.UTF-8@euro") as ICU reads it ("de_DE@euro").
std::string icuLocaleName(std::string posix) {
    auto dot = posix.find('.');
    if (dot != std::string::npos) {
        auto at = posix.find('@', dot);
        posix.erase(dot, at == std::string::npos ? std::string::npos : at - dot);
    }
    if (posix == "C" || posix == "POSIX") return "root";
    return posix;
}

std::string environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "root";
}

}  // namespace

struct NameCollator::Impl {
    UCollator* collator = nullptr;
};

NameCollator::NameCollator(const std::string& locale) : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    std::string name = icuLocaleName(locale.empty() ? environmentLocale() : locale);
    impl_->collator = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        impl_->collator = ucol_open("root", &status);
    }
    if (impl_->collator) {
        // Secondary strength: accents count, letter case does not.
        ucol_setStrength(impl_->collator, UCOL_SECONDARY);
    }
}

NameCollator::~NameCollator() {
    if (impl_->collator) ucol_close(impl_->collator);
}

int NameCollator::compare(std::string_view a, std::string_view b) const {
    if (!impl_->collator) return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result = ucol_strcollUTF8(impl_->collator, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                               static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return a.compare(b);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

}  // namespace korvane::app
