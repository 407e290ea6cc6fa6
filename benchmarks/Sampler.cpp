#include "Sampler.h"

#include <psapi.h>

#include <algorithm>

namespace bench {
namespace {

constexpr std::size_t kMaxSamples = 250000;
constexpr std::size_t kMaxFrames = 4000000;
constexpr std::size_t kMaxDepth = 64;
constexpr LONG kMaxModules = 512;

// The loader's notification of a module loaded or unloaded (LdrRegisterDllNotification).
struct CountedString {
    USHORT length;
    USHORT maximumLength;
    PWSTR buffer;
};
struct DllNotificationData {
    ULONG flags;
    const CountedString* fullDllName;
    const CountedString* baseDllName;
    PVOID dllBase;
    ULONG sizeOfImage;
};
constexpr ULONG kDllLoaded = 1;
using DllNotificationProc = VOID(CALLBACK*)(ULONG reason, const DllNotificationData* data, PVOID context);
using RegisterDllNotificationProc = LONG(NTAPI*)(ULONG flags, DllNotificationProc callback, PVOID context,
                                                 PVOID* cookie);

// An entry of a module's unwind table, laid out as the x64 RUNTIME_FUNCTION.
struct UnwindEntry {
    DWORD begin;
    DWORD end;
    DWORD unwindData;
};

// The modules of the process, only ever appended to: the sampler reads them
// without a lock while the sampled thread is stopped; an unloaded module
// stays, marked, so that the frames that name it keep their meaning.
struct ModuleSlot {
    uintptr_t base;
    DWORD size;
    const UnwindEntry* functions;  // the unwind table, sorted by address
    DWORD functionCount;
    volatile LONG loaded;
    WCHAR path[MAX_PATH];
};
ModuleSlot g_modules[kMaxModules];
volatile LONG g_moduleCount = 0;
// Made once, with the loader's notification, for the life of the process:
// a module may load or go at any time after.
CRITICAL_SECTION g_writers;  // between the loader's notifications and Start's listing
bool g_writersMade = false;
PVOID g_cookie = nullptr;

void AddModule(uintptr_t base, DWORD size, const WCHAR* path, std::size_t pathLength) {
    EnterCriticalSection(&g_writers);
    for (LONG i = 0; i < g_moduleCount; ++i) {
        if (g_modules[i].base == base && g_modules[i].loaded) {
            LeaveCriticalSection(&g_writers);
            return;
        }
    }
    if (g_moduleCount < kMaxModules) {
        ModuleSlot& slot = g_modules[g_moduleCount];
        slot.base = base;
        slot.size = size;
        slot.functions = nullptr;
        slot.functionCount = 0;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& pdata = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
        if (pdata.VirtualAddress && pdata.Size) {
            slot.functions = reinterpret_cast<const UnwindEntry*>(base + pdata.VirtualAddress);
            slot.functionCount = pdata.Size / sizeof(UnwindEntry);
        }
        const std::size_t n = std::min<std::size_t>(pathLength, MAX_PATH - 1);
        std::copy(path, path + n, slot.path);
        slot.path[n] = L'\0';
        slot.loaded = 1;
        MemoryBarrier();
        InterlockedIncrement(&g_moduleCount);
    }
    LeaveCriticalSection(&g_writers);
}

void CALLBACK OnDllNotification(ULONG reason, const DllNotificationData* data, PVOID) {
    const auto base = reinterpret_cast<uintptr_t>(data->dllBase);
    if (reason == kDllLoaded) {
        AddModule(base, data->sizeOfImage, data->fullDllName->buffer, data->fullDllName->length / sizeof(WCHAR));
        return;
    }
    // Told before the module goes: from now on the sampler leaves it alone.
    EnterCriticalSection(&g_writers);
    for (LONG i = 0; i < g_moduleCount; ++i) {
        if (g_modules[i].base == base) InterlockedExchange(&g_modules[i].loaded, 0);
    }
    LeaveCriticalSection(&g_writers);
}

// Follows the loader from now on, and lists what it loaded so far.
bool WatchModules() {
    if (!g_writersMade) {
        InitializeCriticalSection(&g_writers);
        g_writersMade = true;
    }
    if (!g_cookie) {
        auto reg = reinterpret_cast<RegisterDllNotificationProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification")));
        if (!reg || reg(0, &OnDllNotification, nullptr, &g_cookie) != 0) return false;
    }
    HMODULE modules[1024];
    DWORD needed = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof(modules), &needed)) return false;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 1024; ++i) {
        MODULEINFO info = {};
        WCHAR path[MAX_PATH] = {};
        if (!GetModuleInformation(GetCurrentProcess(), modules[i], &info, sizeof(info))) continue;
        const DWORD n = GetModuleFileNameW(modules[i], path, MAX_PATH);
        AddModule(reinterpret_cast<uintptr_t>(info.lpBaseOfDll), info.SizeOfImage, path, n);
    }
    return true;
}

// The loaded module that holds the address, the latest first; -1 when none.
LONG ModuleOf(uintptr_t address) {
    for (LONG i = g_moduleCount - 1; i >= 0; --i) {
        const ModuleSlot& m = g_modules[i];
        if (m.loaded && address >= m.base && address - m.base < m.size) return i;
    }
    return -1;
}

#if defined(__x86_64__) || defined(_M_X64)

const UnwindEntry* FunctionOf(const ModuleSlot& m, DWORD offset) {
    const UnwindEntry* begin = m.functions;
    const UnwindEntry* end = m.functions + m.functionCount;
    const UnwindEntry* f =
        std::upper_bound(begin, end, offset, [](DWORD value, const UnwindEntry& e) { return value < e.begin; });
    if (f == begin) return nullptr;
    --f;
    return offset < f->end ? f : nullptr;
}

// One frame up; false when the walk cannot go on (an address outside every
// module, a stack pointer that leaves the stack or goes back).
bool Unwind(CONTEXT& context, LONG module, uintptr_t stackBase) {
    const ModuleSlot& m = g_modules[module];
    const DWORD64 sp = context.Rsp;
    const UnwindEntry* f = FunctionOf(m, static_cast<DWORD>(context.Rip - m.base));
    if (!f) {
        // A leaf function: its return address is on top of the stack.
        if (sp + 8 > stackBase) return false;
        context.Rip = *reinterpret_cast<const DWORD64*>(sp);
        context.Rsp = sp + 8;
    } else {
        PVOID handlerData = nullptr;
        DWORD64 establisher = 0;
        static_assert(sizeof(UnwindEntry) == sizeof(RUNTIME_FUNCTION), "an unwind entry is a RUNTIME_FUNCTION");
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, m.base, context.Rip,
                         reinterpret_cast<PRUNTIME_FUNCTION>(const_cast<UnwindEntry*>(f)), &context, &handlerData,
                         &establisher, nullptr);
    }
    return context.Rip != 0 && context.Rsp > sp && context.Rsp <= stackBase;
}

DWORD64 InstructionPointer(const CONTEXT& c) { return c.Rip; }

#else

// Without unwind tables only the innermost frame is known.
bool Unwind(CONTEXT&, LONG, uintptr_t) { return false; }

DWORD64 InstructionPointer(const CONTEXT& c) { return c.Eip; }

#endif

std::string Narrow(const WCHAR* text) {
    char buffer[MAX_PATH * 2] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
    return buffer;
}

double ToSeconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / frequency.QuadPart;
}

}  // namespace

CSampler::CSampler() = default;

CSampler::~CSampler() {
    Stop();
    if (m_watched) CloseHandle(m_watched);
}

bool CSampler::Start() {
    if (m_thread || !WatchModules()) return false;
    if (m_watched) CloseHandle(m_watched);
    m_watched = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                           GetCurrentThreadId());
    if (!m_watched) return false;
    // The top of the committed stack region this frame lies in is the stack's base.
    MEMORY_BASIC_INFORMATION stack = {};
    if (!VirtualQuery(&stack, &stack, sizeof(stack))) return false;
    m_stackBase = reinterpret_cast<uintptr_t>(stack.BaseAddress) + stack.RegionSize;
    m_samples.clear();
    m_frames.clear();
    m_samples.reserve(kMaxSamples);
    m_frames.reserve(kMaxFrames);
    m_missed = 0;
    m_held = 0;
    m_stop = 0;
    m_thread = CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr);
    return m_thread != nullptr;
}

void CSampler::Stop() {
    if (!m_thread) return;
    InterlockedExchange(&m_stop, 1);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
}

std::vector<SampledModule> CSampler::Modules() const {
    std::vector<SampledModule> modules;
    for (LONG i = 0; i < g_moduleCount; ++i) {
        modules.push_back({g_modules[i].base, g_modules[i].size, Narrow(g_modules[i].path)});
    }
    return modules;
}

DWORD WINAPI CSampler::ThreadProc(void* self) {
    static_cast<CSampler*>(self)->Run();
    return 0;
}

void CSampler::Run() {
    LARGE_INTEGER resumed;
    QueryPerformanceCounter(&resumed);
    while (!m_stop) {
        Sleep(m_intervalMs);
        if (SuspendThread(m_watched) == static_cast<DWORD>(-1)) {
            ++m_missed;
            continue;
        }
        // Nothing below may take a lock or allocate until the thread goes on.
        const bool taken = TakeSample(m_watched, resumed);
        LARGE_INTEGER stopped, now;
        QueryPerformanceCounter(&stopped);
        ResumeThread(m_watched);
        QueryPerformanceCounter(&now);
        if (!taken) ++m_missed;
        m_held += ToSeconds(now.QuadPart - stopped.QuadPart);
        resumed = now;
    }
}

bool CSampler::TakeSample(HANDLE thread, LARGE_INTEGER lastResume) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_FULL;
    if (!GetThreadContext(thread, &context)) return false;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    if (m_samples.size() == m_samples.capacity() || m_frames.capacity() - m_frames.size() < kMaxDepth) return false;
    Sample sample;
    // The thread ran from its last release until it stopped here.
    sample.weight = ToSeconds(now.QuadPart - lastResume.QuadPart);
    sample.first = m_frames.size();
    for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
        const uintptr_t ip = static_cast<uintptr_t>(InstructionPointer(context));
        const LONG module = ModuleOf(ip);
        if (module < 0) break;
        const auto offset = static_cast<std::uint32_t>(ip - g_modules[module].base);
        m_frames.push_back({static_cast<std::uint32_t>(module), offset});
        if (!Unwind(context, module, m_stackBase)) break;
    }
    sample.count = m_frames.size() - sample.first;
    m_samples.push_back(sample);
    return true;
}

}  // namespace bench
