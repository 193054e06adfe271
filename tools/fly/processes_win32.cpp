// Child processes on Windows: CreateProcess, each in its own process group
// and in a job that ends them if this program dies; a close request (Ctrl-Break
// to console programs, WM_CLOSE to windows) first, TerminateProcess after.
#ifndef WIN32_LEAN_AND_MEAN
#  define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "command_lines.h"
#include "console.h"
#include "processes.h"

namespace processes {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t outputLimit = 64 * 1024;

std::wstring wide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string systemMessage(DWORD code)
{
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

// Every child goes into this job: closing the job's last handle, as the
// system does when this program ends in any way, ends them.
HANDLE job()
{
    static const HANDLE created = [] {
        HANDLE handle = CreateJobObjectW(nullptr, nullptr);
        if (handle != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(handle, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return handle;
    }();
    return created;
}

Ending endingOf(HANDLE process)
{
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (code >= 0xC0000000u) {  // an exception ended it: the code is its NTSTATUS
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
        return {false, std::string("crashed (exception ") + hex + ")"};
    }
    return {code == 0, "exited with status " + std::to_string(code)};
}

// This process's environment block with `environment` ("NAME=value") added or replacing; names ignore case.
std::wstring environmentBlock(const std::vector<std::string>& environment)
{
    std::wstring block;
    const LPWCH current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring kept(entry);
        const std::wstring keptName = kept.substr(0, kept.find(L'=', 1));  // "=C:" entries start with '='
        const bool replaced = std::any_of(environment.begin(), environment.end(), [&](const std::string& added) {
            const std::wstring name = wide(added.substr(0, added.find('=')));
            return CompareStringOrdinal(name.c_str(), -1, keptName.c_str(), -1, TRUE) == CSTR_EQUAL;
        });
        if (!replaced) {
            block += kept;
            block += L'\0';
        }
    }
    FreeEnvironmentStringsW(current);
    for (const std::string& added : environment) {
        block += wide(added);
        block += L'\0';
    }
    block += L'\0';
    return block;
}

bool create(const std::vector<std::string>& command, STARTUPINFOW& startup, bool inherit, PROCESS_INFORMATION& info,
            std::string& error, const std::vector<std::string>& environment = {})
{
    const std::wstring application = wide(command[0]);
    std::wstring line = wide(fly::windowsCommandLine(command));
    std::wstring block = environment.empty() ? std::wstring() : environmentBlock(environment);
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT);
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, inherit ? TRUE : FALSE, flags,
                        environment.empty() ? nullptr : block.data(), nullptr, &startup, &info)) {
        error = systemMessage(GetLastError());
        return false;
    }
    if (job() != nullptr) {
        AssignProcessToJobObject(job(), info.hProcess);
    }
    CloseHandle(info.hThread);
    return true;
}

BOOL CALLBACK closeWindowsOf(HWND window, LPARAM pid)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(pid) && IsWindowVisible(window)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

bool start(Child& child, const std::vector<std::string>& command, std::string& error,
           const std::vector<std::string>& environment, bool watchOutput)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (watchOutput) {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
            error = systemMessage(GetLastError());
            return false;
        }
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
    }
    const bool created = create(command, startup, watchOutput, info, error, environment);
    if (writeEnd != nullptr) {
        CloseHandle(writeEnd);
    }
    if (!created) {
        if (readEnd != nullptr) {
            CloseHandle(readEnd);
        }
        return false;
    }
    child.output = readEnd != nullptr ? reinterpret_cast<std::intptr_t>(readEnd) : -1;
    child.pid = static_cast<std::intptr_t>(info.dwProcessId);
    child.handle = reinterpret_cast<std::intptr_t>(info.hProcess);
    child.running = true;
    return true;
}

std::optional<std::size_t> waitAny(std::vector<Child>& children, Ending& ending, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!console::stopRequested()) {
        std::vector<HANDLE> handles;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (children[i].running) {
                handles.push_back(reinterpret_cast<HANDLE>(children[i].handle));
                which.push_back(i);
            }
        }
        if (handles.empty()) {
            return std::nullopt;
        }
        const DWORD got = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 50);
        if (got < WAIT_OBJECT_0 + handles.size()) {
            Child& child = children[which[got - WAIT_OBJECT_0]];
            ending = endingOf(reinterpret_cast<HANDLE>(child.handle));
            child.running = false;
            return which[got - WAIT_OBJECT_0];
        }
        if (Clock::now() >= deadline) {
            break;
        }
    }
    return std::nullopt;
}

void stopAll(std::vector<Child>& children, std::chrono::milliseconds grace)
{
    for (const Child& child : children) {
        if (child.running) {
            GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(child.pid));
            EnumWindows(closeWindowsOf, static_cast<LPARAM>(child.pid));
        }
    }
    const auto deadline = Clock::now() + grace;
    for (Child& child : children) {
        if (!child.running) {
            continue;
        }
        const HANDLE process = reinterpret_cast<HANDLE>(child.handle);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (WaitForSingleObject(process, static_cast<DWORD>(std::max<long long>(left, 0))) != WAIT_OBJECT_0) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
        }
        child.running = false;
    }
}

std::string takeOutput(Child& child)
{
    std::string taken;
    char buffer[4096];
    while (child.output != -1 && taken.size() < 64 * 1024) {
        const HANDLE pipe = reinterpret_cast<HANDLE>(child.output);
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            CloseHandle(pipe);  // its end, or a broken pipe
            child.output = -1;
            break;
        }
        if (available == 0) {
            break;  // nothing more for now
        }
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer), &got,
                      nullptr) || got == 0) {
            break;
        }
        taken.append(buffer, got);
    }
    return taken;
}

Captured capture(const std::vector<std::string>& command, std::chrono::milliseconds limit)
{
    Captured captured;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        captured.error = systemMessage(GetLastError());
        return captured;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                 OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    const bool created = create(command, startup, true, info, captured.error);
    CloseHandle(writeEnd);
    if (nothing != INVALID_HANDLE_VALUE) {
        CloseHandle(nothing);
    }
    if (!created) {
        CloseHandle(readEnd);
        return captured;
    }
    captured.started = true;
    const auto deadline = Clock::now() + limit;
    char buffer[4096];
    bool ended = false;
    while (Clock::now() < deadline && !console::stopRequested()) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) {
            ended = WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;  // closed: every writer gone
            if (ended) {
                break;
            }
            Sleep(20);
            continue;
        }
        if (available > 0) {
            DWORD got = 0;
            if (ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) && got > 0) {
                captured.output.append(buffer, got);
                captured.output.resize(std::min(captured.output.size(), outputLimit));
            }
            continue;
        }
        if (ended) {
            break;  // ended, and what it wrote is read
        }
        ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
    }
    CloseHandle(readEnd);
    if (ended) {
        captured.finished = true;
        captured.ending = endingOf(info.hProcess);
    } else {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
    }
    CloseHandle(info.hProcess);
    return captured;
}

bool isProgram(const std::string& path)
{
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string findOnPath(const std::string& name)
{
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring folders(size, L'\0');
    folders.resize(GetEnvironmentVariableW(L"PATH", folders.data(), size));
    const std::string list = narrow(folders);
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        std::string folder = list.substr(start, end - start);
        folder.erase(std::remove(folder.begin(), folder.end(), '"'), folder.end());
        if (!folder.empty()) {
            const bool hasSuffix = name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0;
            const std::string candidate = folder + "\\" + name + (hasSuffix ? "" : ".exe");
            if (isProgram(candidate)) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return {};
}

std::string ownFolder()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const std::string self = narrow(path);
    const auto slash = self.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

}  // namespace processes
