#include "ProfileReport.h"

#include <windows.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

namespace bench {
namespace {

enum class Group { Ours, Bench, Runtime, Component, Api, WineUnix, Unknown };

const char* GroupName(Group g) {
    switch (g) {
        case Group::Ours: return "the tool's code (zr::)";
        case Group::Bench: return "the benchmark's code";
        case Group::Runtime: return "C and C++ runtime";
        case Group::Component: return "the component (stand-in module)";
        case Group::Api: return "Windows API, PE side (kernel32, user32, ntdll...)";
        case Group::WineUnix: return "in a system call: Wine's unix side and server";
        default: return "unknown (no module)";
    }
}

struct Symbol {
    DWORD rva;
    std::string name;
};

// A module's function symbols by address, from the COFF symbol table of its file.
class CModuleSymbols {
public:
    explicit CModuleSymbols(const std::string& path) { Read(path); }
    // The symbol at or before `rva`, with the distance to it; null when none.
    const Symbol* At(DWORD rva, DWORD& distance) const {
        auto it = std::upper_bound(m_symbols.begin(), m_symbols.end(), rva,
                                   [](DWORD value, const Symbol& s) { return value < s.rva; });
        if (it == m_symbols.begin()) return nullptr;
        --it;
        distance = rva - it->rva;
        return &*it;
    }

private:
    void Read(const std::string& path) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        LARGE_INTEGER size = {};
        std::vector<unsigned char> data;
        if (GetFileSizeEx(file, &size) && size.QuadPart < (256 << 20)) {
            data.resize(static_cast<std::size_t>(size.QuadPart));
            DWORD got = 0;
            if (!ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &got, nullptr) || got != data.size()) {
                data.clear();
            }
        }
        CloseHandle(file);
        Parse(data);
    }

    void Parse(const std::vector<unsigned char>& data) {
        if (data.size() < sizeof(IMAGE_DOS_HEADER)) return;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(data.data());
        const std::size_t headerAt = static_cast<std::size_t>(dos->e_lfanew) + 4;
        if (headerAt + sizeof(IMAGE_FILE_HEADER) > data.size()) return;
        const auto* header = reinterpret_cast<const IMAGE_FILE_HEADER*>(data.data() + headerAt);
        const std::size_t sectionsAt = headerAt + sizeof(IMAGE_FILE_HEADER) + header->SizeOfOptionalHeader;
        const std::size_t symbolsAt = header->PointerToSymbolTable;
        const std::size_t count = header->NumberOfSymbols;
        const std::size_t stringsAt = symbolsAt + count * IMAGE_SIZEOF_SYMBOL;
        if (!symbolsAt || sectionsAt + header->NumberOfSections * sizeof(IMAGE_SECTION_HEADER) > data.size() ||
            stringsAt + 4 > data.size()) {
            return;
        }
        const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(data.data() + sectionsAt);
        const char* strings = reinterpret_cast<const char*>(data.data() + stringsAt);
        DWORD stringsSize = 0;
        std::memcpy(&stringsSize, strings, 4);
        if (stringsAt + stringsSize > data.size()) return;
        for (std::size_t i = 0; i < count; ++i) {
            IMAGE_SYMBOL s;
            std::memcpy(&s, data.data() + symbolsAt + i * IMAGE_SIZEOF_SYMBOL, IMAGE_SIZEOF_SYMBOL);
            const std::size_t aux = s.NumberOfAuxSymbols;
            if (s.SectionNumber > 0 && s.SectionNumber <= header->NumberOfSections &&
                (s.StorageClass == IMAGE_SYM_CLASS_EXTERNAL || s.StorageClass == IMAGE_SYM_CLASS_STATIC)) {
                const IMAGE_SECTION_HEADER& section = sections[s.SectionNumber - 1];
                std::string name;
                if (s.N.Name.Short == 0) {
                    if (s.N.Name.Long < stringsSize) name = strings + s.N.Name.Long;
                } else {
                    const char* shortName = reinterpret_cast<const char*>(s.N.ShortName);
                    name.assign(shortName, strnlen(shortName, 8));
                }
#if !defined(__x86_64__) && !defined(_M_X64)
                if (!name.empty() && name[0] == '_') name.erase(0, 1);  // the 32-bit build's leading underscore
#endif
                if ((section.Characteristics & IMAGE_SCN_MEM_EXECUTE) && !name.empty() && name[0] != '.') {
                    m_symbols.push_back({section.VirtualAddress + s.Value, name});
                }
            }
            i += aux;
        }
        std::stable_sort(m_symbols.begin(), m_symbols.end(),
                         [](const Symbol& a, const Symbol& b) { return a.rva < b.rva; });
    }

    std::vector<Symbol> m_symbols;
};

// A C++ name demangled, without its parameter list.
std::string Readable(const std::string& name) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status != 0 || !demangled) return name;
    std::string text = demangled;
    std::free(demangled);
    if (text.size() > 6 && text.compare(text.size() - 6, 6, " const") == 0) text.resize(text.size() - 6);
    if (!text.empty() && text.back() == ')') {
        int depth = 0;
        for (std::size_t i = text.size(); i-- > 0;) {
            if (text[i] == ')') ++depth;
            if (text[i] == '(' && --depth == 0) {
                text.resize(i);
                break;
            }
        }
    }
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(tolower(c)); });
    return text;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return Lower(slash == std::string::npos ? path : path.substr(slash + 1));
}

struct Frame {
    std::string label;  // module!function, or the function alone for the program's own
    Group group;
    bool syscallStub;   // a system call's stub in ntdll or win32u
};

class CNamer {
public:
    explicit CNamer(const std::vector<SampledModule>& modules) : m_modules(modules) {
        char exe[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, exe, sizeof(exe));
        m_exe = BaseName(exe);
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, sizeof(system));
        m_systemFolder = Lower(system);
    }

    // A frame; a return address (not the innermost frame) is looked up one byte back, in its call.
    const Frame& Name(const SampledFrame& f, bool returnAddress) {
        const std::uint64_t key = (static_cast<std::uint64_t>(f.module) << 33) |
                                  (static_cast<std::uint64_t>(f.offset) << 1) | (returnAddress ? 1 : 0);
        auto known = m_cache.find(key);
        if (known != m_cache.end()) return known->second;
        return m_cache.emplace(key, Resolve(f, returnAddress)).first->second;
    }

private:
    Frame Resolve(const SampledFrame& f, bool returnAddress) {
        const SampledModule& module = m_modules[f.module];
        const std::string file = BaseName(module.path);
        auto& symbols = m_symbols[module.path];
        if (!symbols) symbols = std::make_unique<CModuleSymbols>(module.path);
        DWORD distance = 0;
        const Symbol* symbol = symbols->At(f.offset - (returnAddress ? 1 : 0), distance);
        const std::string name = symbol ? Readable(symbol->name) : "?";
        Frame frame;
        frame.syscallStub = false;
        if (file == m_exe) {
            frame.label = name;
            if (name.compare(0, 4, "zr::") == 0) {
                frame.group = Group::Ours;
            } else if (name.compare(0, 7, "bench::") == 0 || name.compare(0, 9, "hostsim::") == 0 ||
                       name.compare(0, 8, "zrtest::") == 0 || name == "main") {
                frame.group = Group::Bench;
            } else {
                frame.group = Group::Runtime;
            }
            return frame;
        }
        const std::string stem = file.substr(0, file.rfind('.'));
        frame.label = stem + "!" + name;
        if (file == "msvcrt.dll" || file == "ucrtbase.dll" || file.compare(0, 6, "msvcp") == 0) {
            frame.group = Group::Runtime;
        } else if (!IsSystemModule(module.path)) {
            frame.group = Group::Component;
        } else {
            frame.group = Group::Api;
            // Wine's stubs: a dozen bytes that pass the call to the unix side.
            frame.syscallStub = (file == "ntdll.dll" || file == "win32u.dll") && !returnAddress && distance < 0x20 &&
                                (name.compare(0, 2, "Nt") == 0 || name.compare(0, 2, "Zw") == 0);
            if (frame.syscallStub) frame.group = Group::WineUnix;
        }
        return frame;
    }

    bool IsSystemModule(const std::string& path) const {
        return Lower(path.substr(0, path.find_last_of('\\'))) == m_systemFolder;
    }

    const std::vector<SampledModule> m_modules;
    std::string m_exe;
    std::string m_systemFolder;
    std::map<std::string, std::unique_ptr<CModuleSymbols>> m_symbols;
    std::unordered_map<std::uint64_t, Frame> m_cache;
};

// Weights by key, printed as the largest `top` rows.
class CTally {
public:
    void Add(const std::string& key, double weight) { m_weights[key] += weight; }
    void Print(const char* title, double total, unsigned tracks, unsigned top) const {
        std::vector<std::pair<double, std::string>> rows;
        for (const auto& entry : m_weights) rows.emplace_back(entry.second, entry.first);
        std::sort(rows.rbegin(), rows.rend());
        std::printf("  %s\n", title);
        std::printf("    %6s %9s  %s\n", "share", "us/track", "where");
        for (std::size_t i = 0; i < rows.size() && i < top; ++i) {
            std::string label = rows[i].second;
            if (label.size() > 110) label = label.substr(0, 107) + "...";
            std::printf("    %5.1f%% %9.1f  %s\n", total > 0 ? rows[i].first / total * 100 : 0.0,
                        tracks ? rows[i].first / tracks * 1e6 : 0.0, label.c_str());
        }
    }

private:
    std::map<std::string, double> m_weights;
};

// Which part of backup_bench's split of a job a sample belongs to, from the
// call the tool's innermost frame was in.
const char* SplitPart(const std::vector<const Frame*>& stack, std::size_t ours) {
    if (ours == stack.size() || stack[ours]->group != Group::Ours) return "outside the job's steps (the benchmark's)";
    if (ours == 0) return "the tool's code: its own instructions";
    const Frame& callee = *stack[ours - 1];
    const std::string& name = callee.label;
    auto is = [&](const char* api) {
        const std::size_t at = name.size() - std::strlen(api);
        return name.size() >= std::strlen(api) && name.compare(at, std::string::npos, api) == 0 &&
               (at == 0 || name[at - 1] == '!');
    };
    if (is("CopyFileA") || is("CreateDirectoryA")) return "copies (CopyFileA, CreateDirectoryA)";
    if (callee.group == Group::Component) return "the component's calls";
    if (is("OutputDebugStringA")) return "notices: trace lines (OutputDebugStringA)";
    if (is("PostMessageA")) return "notices: progress posts (PostMessageA)";
    if (callee.group == Group::Runtime) return "the tool's code: the C and C++ runtime";
    return "the tool's code: other system calls";
}

std::size_t Innermost(const std::vector<const Frame*>& stack, Group group) {
    std::size_t i = 0;
    while (i < stack.size() && stack[i]->group != group) ++i;
    return i;
}

}  // namespace

void PrintProfile(const char* title, const CSampler& sampler, unsigned tracks, unsigned top) {
    CNamer namer(sampler.Modules());
    CTally groups, split, innermost, calls, oursAndCallee, inclusive, syscalls;
    double total = 0;
    const std::vector<SampledFrame>& frames = sampler.Frames();
    for (const Sample& sample : sampler.Samples()) {
        total += sample.weight;
        if (sample.count == 0) {
            groups.Add(GroupName(Group::Unknown), sample.weight);
            continue;
        }
        std::vector<const Frame*> stack;
        for (std::size_t i = 0; i < sample.count; ++i) stack.push_back(&namer.Name(frames[sample.first + i], i > 0));
        groups.Add(GroupName(stack[0]->group), sample.weight);
        innermost.Add(stack[0]->label + "   [" + GroupName(stack[0]->group) + "]", sample.weight);

        // The innermost frame of the tool's own code (else of the benchmark's), and what it had called.
        std::size_t ours = Innermost(stack, Group::Ours);
        if (ours == stack.size()) ours = Innermost(stack, Group::Bench);
        std::string caller = "(no frame of the program)", callee = stack.back()->label;
        if (ours < stack.size()) {
            caller = (stack[ours]->group == Group::Bench ? "[bench] " : "") + stack[ours]->label;
            callee = ours == 0 ? "itself" : stack[ours - 1]->label;
        }
        oursAndCallee.Add(caller + "  ->  " + callee, sample.weight);
        split.Add(SplitPart(stack, ours), sample.weight);
        calls.Add(ours < stack.size() && stack[ours]->group == Group::Bench ? "[bench] " + callee : callee,
                  sample.weight);
        if (stack[0]->syscallStub) syscalls.Add(stack[0]->label + "  <-  " + caller + " -> " + callee, sample.weight);

        std::set<std::string> seen;
        for (const Frame* f : stack) {
            if (f->group == Group::Ours && seen.insert(f->label).second) inclusive.Add(f->label, sample.weight);
        }
    }
    std::printf("\n-- profile of %s: %zu samples over %.2f s of the thread's time (%.1f us per track); %zu missed;"
                " the thread was held stopped %.2f s in all\n",
                title, sampler.Samples().size(), total, tracks ? total / tracks * 1e6 : 0.0, sampler.Missed(),
                sampler.HeldSeconds());
    split.Print("split as backup_bench splits a job (by the call the tool's innermost frame was in):", total, tracks,
                top);
    groups.Print("by group of the innermost frame:", total, tracks, top);
    innermost.Print("innermost frames:", total, tracks, top);
    calls.Print("what the tool's innermost frame was in: a call it made, or its own code (itself):", total, tracks,
                top);
    oursAndCallee.Print("the same by the tool's function: the tool's innermost frame -> the call it was in:", total,
                        tracks, top);
    syscalls.Print("system calls (Wine's unix side and server) <- the tool's frame -> its call:", total, tracks, top);
    inclusive.Print("the tool's functions, with all they called (inclusive):", total, tracks, top);
    std::fflush(stdout);
}

}  // namespace bench
