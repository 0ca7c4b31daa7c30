// Reads a database file back for the tests, in either generations' layout: checks every constant
// byte and returns the names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ParsedDatabase {
    bool later = false;                 // the third and fourth generations' layout ("bdhs")
    size_t count = 0;                   // the header's count
    std::vector<std::u16string> names;  // each record's name, up to its first zero unit
};

// Empty when the bytes are not a complete, well-formed database; `why` then says what is wrong.
std::optional<ParsedDatabase> ParseDatabase(const std::vector<uint8_t>& bytes,
                                            std::string* why = nullptr);
