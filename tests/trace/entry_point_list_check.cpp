// entry_point_list_check.cpp: the list of entry points (trace/entry_point_list.h) agrees with
// the public header and with exports/velkano.def.
// Compiled: velkano.h declares each listed entry point with the listed parameters, and each
// parameter is one 4-byte stack slot on 32-bit Windows, so the listed bytes are 4 per parameter.
// Run: the names velkano.h declares and the NAME@N exports of the .def are the list's, as
// sets; and the .def is in the list's order, which numbers the entry points in trace files.
// The x64 .def exports the plain names in the list's order and each NAME@N as an alias of NAME.
// usage: velkano_entry_list_check include/velkano.h.in exports/velkano.def [exports/velkano_win64.def]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "trace/entry_point_list.h"
#include "velkano.h"

namespace {

template <class Function>
struct Parameters;
template <class... Args>
struct Parameters<void(Args...)> {
    static constexpr bool allFourBytes = ((std::is_pointer_v<Args> || sizeof(Args) == 4) && ...);
    static constexpr int stackBytes = 4 * sizeof...(Args);
};

#define VELKANO_ENTRY_CHECK(NAME, BYTES, Name, name, parameters)                                                 \
  static_assert(std::is_same_v<decltype(NAME), void parameters>, #NAME ": velkano.h declares other parameters"); \
  static_assert(Parameters<void parameters>::allFourBytes, #NAME ": a parameter is not a 4-byte slot");          \
  static_assert(Parameters<void parameters>::stackBytes == BYTES, #NAME ": the bytes are not 4 per parameter");
VELKANO_ENTRY_POINTS(VELKANO_ENTRY_CHECK)
#undef VELKANO_ENTRY_CHECK

#define VELKANO_ENTRY_NAME(NAME, BYTES, Name, name, parameters) #NAME,
#define VELKANO_ENTRY_EXPORT(NAME, BYTES, Name, name, parameters) VELKANO_ENTRY_DECORATED(NAME, BYTES),
const std::vector<std::string> kNames = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_NAME)};
const std::vector<std::string> kExports = {VELKANO_ENTRY_POINTS(VELKANO_ENTRY_EXPORT)};

// Every first group of `pattern` in the file, in order.
std::vector<std::string> matches(const char* path, const std::regex& pattern) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> found;
    for (std::sregex_iterator at(text.begin(), text.end(), pattern), end; at != end; ++at) found.push_back((*at)[1]);
    return found;
}

// Reports the names in one set and not the other; true when the sets are equal.
bool sameSet(const char* what, const std::vector<std::string>& found, const std::vector<std::string>& listed) {
    const std::set<std::string> a(found.begin(), found.end()), b(listed.begin(), listed.end());
    for (const std::string& name : a)
        if (!b.count(name)) std::fprintf(stderr, "%s has %s, the list has not\n", what, name.c_str());
    for (const std::string& name : b)
        if (!a.count(name)) std::fprintf(stderr, "the list has %s, %s has not\n", name.c_str(), what);
    return a == b && found.size() == a.size();
}

}  // namespace

// The x64 .def: plain names in the list's order, then "NAME@N = NAME" for each.
bool checkWin64Def(const char* path) {
    auto aliases = matches(path, std::regex(R"(\n[ \t]+(\w+@\d+[ \t]*=[ \t]*\w+)[ \t]*(?=\r?\n|$))"));
    for (std::string& alias : aliases) std::erase_if(alias, [](char c) { return c == ' ' || c == '\t'; });
    std::vector<std::string> wanted;
    for (std::size_t i = 0; i < kNames.size(); ++i) wanted.push_back(kExports[i] + "=" + kNames[i]);
    bool ok = sameSet(path, aliases, wanted);
    const auto plain = matches(path, std::regex(R"(\n[ \t]+(\w+)[ \t]*(?=\r?\n|$))"));
    if (plain != kNames) {
        std::fprintf(stderr, "%s does not export the list's plain names in its order\n", path);
        ok = false;
    }
    return ok;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s velkano.h velkano.def [velkano_win64.def]\n", argv[0]);
        return 2;
    }
    const auto declared = matches(argv[1], std::regex(R"(VELKANO_CALL\s+(\w+)\s*\()"));
    const auto exported = matches(argv[2], std::regex(R"(\n[ \t]+(\w+@\d+)[ \t]*(?=\r?\n|$))"));
    bool ok = sameSet(argv[1], declared, kNames);
    ok = sameSet(argv[2], exported, kExports) && ok;
    if (ok && exported != kExports) {
        std::fprintf(stderr, "%s is not in the list's order, which numbers the entry points in trace files\n", argv[2]);
        ok = false;
    }
    if (argc == 4) ok = checkWin64Def(argv[3]) && ok;
    std::printf("%zu entry points: velkano.h and the .def files %s the list\n", kNames.size(),
                ok ? "agree with" : "differ from");
    return ok ? 0 : 1;
}
