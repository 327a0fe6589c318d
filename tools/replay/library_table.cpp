// library_table.cpp: fills a LibraryTable from a library's exports, by the names the trace
// format gives the entry points.
#include "library_table.h"

#include "trace/trace_format.h"

namespace velkano::replay {
namespace {

// The export name of an entry point in this build: decorated for the 32-bit Windows DLL,
// the plain C name elsewhere.
std::string exportName(trace::EntryPoint entry) {
    const std::string_view decorated = trace::signature(entry).name;
#if defined(_WIN32) && !defined(_WIN64)
    return std::string(decorated);
#else
    return std::string(decorated.substr(0, decorated.find('@')));
#endif
}

// Casting between function pointer types is well defined; only calls must use the real type.
template <class Function>
void assign(Function& slot, AnyFunction function) {
    slot = reinterpret_cast<Function>(function);
}

}  // namespace

bool fillLibraryTable(LibraryTable& table, void* handle, ExportLookup lookup, std::string& missing) {
    using trace::EntryPoint;
    AnyFunction found[trace::kEntryPointCount] = {};
    missing.clear();
    for (size_t i = 0; i < trace::kEntryPointCount; ++i) {
        const std::string name = exportName(static_cast<EntryPoint>(i));
        found[i] = lookup(handle, name.c_str());
        if (!found[i]) missing += (missing.empty() ? "" : ", ") + name;
    }
    if (!missing.empty()) return false;
#define VELKANO_ENTRY_ASSIGN(NAME, BYTES, Name, name, parameters) \
  assign(table.name, found[static_cast<size_t>(EntryPoint::Name)]);
    VELKANO_ENTRY_POINTS(VELKANO_ENTRY_ASSIGN)
#undef VELKANO_ENTRY_ASSIGN
    return true;
}

}  // namespace velkano::replay
