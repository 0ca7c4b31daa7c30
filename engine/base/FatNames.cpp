#include "base/FatNames.h"

FatSlots FatEntriesFor(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    std::u16string_view base = name.substr(0, dot), ext;
    if (dot != std::u16string_view::npos)
        ext = name.substr(dot + 1);
    bool shortName = !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
                     (dot == std::u16string_view::npos || !ext.empty()) &&
                     base.find(u'.') == base.npos;
    for (char16_t unit : name)
        shortName = shortName && unit > u' ' && unit < 0x7F &&
                    std::u16string_view(u"\"*+,/:;<=>?[]|").find(unit) == std::u16string_view::npos;
    size_t withLong = 1 + (name.size() + 12) / 13;
    return shortName ? FatSlots{1, 2} : FatSlots{withLong, withLong};
}
