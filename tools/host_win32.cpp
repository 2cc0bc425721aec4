// ambrel-status's operating system on Windows.
#include "host.h"

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <cstdio>

namespace {

HANDLE g_stop_event;

std::wstring wide(const std::string &text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], length);
    result.resize(result.size() - 1);
    return result;
}

std::string utf8(const wchar_t *text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(length > 0 ? static_cast<std::size_t>(length) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], length, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

std::string system_error(const std::string &what, DWORD code)
{
    char message[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  message, sizeof message, nullptr);
    std::string text = length > 0 ? std::string(message, length) : "system error " + std::to_string(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return what + ": " + text;
}

BOOL WINAPI note_stop(DWORD)
{
    SetEvent(g_stop_event);
    return TRUE;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char **argv)
{
    int count = 0;
    LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i) {
        result.push_back(utf8(arguments[i]));
    }
    LocalFree(arguments);
    return result;
}

void prepare_process() {}

void *load_library(const std::string &file, std::string *error)
{
    HMODULE module = LoadLibraryW(wide(file).c_str());
    if (module == nullptr) {
        *error = system_error("error", GetLastError());
    }
    return reinterpret_cast<void *>(module);
}

any_function find_function(void *library, const char *name)
{
    return reinterpret_cast<any_function>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unload_library(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

output_result write_standard_output(const std::string &text, std::string *error)
{
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
        return output_result::written;
    }
    if (errno == EPIPE || errno == EINVAL) {
        return output_result::closed;
    }
    *error = "cannot write to standard output";
    return output_result::failed;
}

bool replace_file(const std::string &path, const std::string &text, std::string *error)
{
    // Windows takes '/' for '\\' in paths, but not every call does (ReplaceFileW under Wine).
    std::wstring target = wide(path);
    for (wchar_t &c : target) {
        if (c == L'/') c = L'\\';
    }
    std::size_t slash = target.rfind(L'\\');
    std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash);
    std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        *error = "cannot write " + path + ": it names a folder";
        return false;
    }
    static unsigned counter;
    std::wstring temporary = folder + L"\\." + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                             std::to_wstring(++counter) + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = system_error("cannot write " + path + ": cannot create a file in " + utf8(folder.c_str()),
                              GetLastError());
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    DWORD code = GetLastError();
    CloseHandle(file);
    if (!ok) {
        *error = system_error("cannot write " + utf8(temporary.c_str()), code);
    }
    // ReplaceFileW keeps the existing file's attributes and access rights.
    if (ok && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ok = ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                          nullptr) != FALSE;
    } else if (ok) {
        ok = MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    } else {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!ok) {
        *error = system_error("cannot replace " + path, GetLastError());
        DeleteFileW(temporary.c_str());
    }
    return ok;
}

// --- Watching -----------------------------------------------------------------

void start_watching(bool)
{
    // A closed output is noticed at the next write: a pipe's far end cannot
    // be waited on here.
    g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(note_stop, TRUE);
}

std::int64_t monotonic_ms()
{
    return static_cast<std::int64_t>(GetTickCount64());
}

wait_result wait_until(std::int64_t deadline_ms)
{
    for (;;) {
        std::int64_t left = deadline_ms - monotonic_ms();
        if (WaitForSingleObject(g_stop_event, left > 0 ? static_cast<DWORD>(left) : 0) == WAIT_OBJECT_0) {
            return wait_result::stopped;
        }
        if (left <= 0 || monotonic_ms() >= deadline_ms) {
            return wait_result::deadline;
        }
    }
}
