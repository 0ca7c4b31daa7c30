#include "base/Text.h"

bool HasWideUnits(std::u16string_view name) {
    for (char16_t unit : name)
        if (unit > 0x00FF)
            return true;
    return false;
}

char16_t FoldAscii(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

std::u16string FoldedName(std::u16string_view name) {
    std::u16string folded(name);
    for (auto& unit : folded)
        unit = FoldAscii(unit);
    return folded;
}

bool EqualsFolded(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

bool EndsWithMp3(std::u16string_view path) {
    std::u16string_view tail = path.size() < 3 ? path : path.substr(path.size() - 3);
    return EqualsFolded(tail, u"mp3");
}

std::u16string ToPlayerPath(std::u16string_view fullPath) {
    std::u16string out(fullPath.size() <= 2 ? std::u16string_view() : fullPath.substr(2));
    for (auto& unit : out)
        if (unit == u'\\')
            unit = u'/';
    return out;
}

std::u16string FromPlayerPath(std::u16string_view drive, std::u16string_view playerPath) {
    std::u16string full(drive);
    for (char16_t unit : playerPath)
        full.push_back(unit == u'/' ? u'\\' : unit);
    return full;
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out;
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder).append(1, u'\\').append(name);
    return out;
}

size_t FileNameOffset(std::u16string_view path) {
    size_t cut = path.rfind(u'\\');
    return cut == std::u16string_view::npos ? 0 : cut + 1;
}

std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> texts) {
    std::u16string out;
    auto next = texts.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
            next != texts.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::u16string FormatNumber(std::u16string_view format, int number) {
    // Written from the last digit; the magnitude as unsigned holds the most negative int too.
    char16_t digits[11];
    size_t at = sizeof digits / sizeof *digits;
    unsigned value =
        number < 0 ? 0u - static_cast<unsigned>(number) : static_cast<unsigned>(number);
    do {
        digits[--at] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value);
    if (number < 0)
        digits[--at] = u'-';

    std::u16string out(format);
    size_t pos = out.find(u"%d");
    if (pos != std::u16string::npos)
        out.replace(pos, 2, digits + at, sizeof digits / sizeof *digits - at);
    return out;
}

bool IsUnder(std::u16string_view path, std::u16string_view folder) {
    return path.size() > folder.size() && path[folder.size()] == u'\\' &&
           EqualsFolded(path.substr(0, folder.size()), folder);
}
