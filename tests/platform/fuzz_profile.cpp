// Fuzz target for the profile text rules: any bytes must be read without fault, and every write
// must read back and change nothing but its own line.
#include "IniFile.h"
#include "ProfileFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(c)                                                                              \
    do {                                                                                           \
        if (!(c)) {                                                                                \
            std::fprintf(stderr, "fuzz check failed: %s\n", #c);                                   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

void CheckWrite(std::string_view text, std::string_view section, std::string_view key,
                std::string_view value) {
    if (!ProfileWritable(section, key, value)) return;
    const std::string out = ProfileReplace(text, section, key, value);
    const auto back = ProfileFind(out, section, key);
    FUZZ_CHECK(back && *back == Trim(value));
    FUZZ_CHECK(ProfileReplace(out, section, key, value) == out);
    // Only one line may differ: what the old text lost lies within one line.
    std::size_t prefix = 0;
    while (prefix < text.size() && prefix < out.size() && text[prefix] == out[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < text.size() - prefix && suffix < out.size() - prefix &&
           text[text.size() - 1 - suffix] == out[out.size() - 1 - suffix])
        ++suffix;
    FUZZ_CHECK(text.substr(prefix, text.size() - prefix - suffix).find('\n') ==
               std::string_view::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first line, when short, also serves as a value and a name.
    const std::string_view first = input.substr(0, std::min<std::size_t>(input.find('\n'), 24));
    (void)ParseProfileInteger(input, 0);
    (void)ParseProfileInteger(first, 0);
    static constexpr std::string_view kSections[] = {"Property", "window", "P"};
    static constexpr std::string_view kKeys[] = {"Scale", "X", "k"};
    for (const std::string_view section : kSections) {
        for (const std::string_view key : kKeys) {
            (void)ProfileFind(input, section, key);
            CheckWrite(input, section, key, "v1");
            CheckWrite(input, section, key, first);
        }
    }
    CheckWrite(input, Trim(first), "k", "v");
    CheckWrite(input, "P", Trim(first), "v");
    return 0;
}
