// ambrel-status: loads the ambrel library at run time, as any host would,
// and prints the battery's state.
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using text_function = const char *(*)();

const char usage[] =
    "usage: ambrel-status [--all] [--last-error] [--library FILE]\n"
    "\n"
    "Prints the machine's battery state as one JSON text, as the ambrel library\n"
    "reports it, followed by a newline.\n"
    "\n"
    "  --all           print the whole power picture instead: every battery,\n"
    "                  the power source and the time left (ambrel_power)\n"
    "  --last-error    also print the system's message for a battery device\n"
    "                  error (an empty line when there was none)\n"
    "  --library FILE  load this library file instead of " AMBREL_LIBRARY_FILE "\n"
    "  --help          show this text\n";

#if defined(_WIN32)
void *load_library(const char *file, std::string *error)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, file, -1, nullptr, 0);
    std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, file, -1, &wide[0], length);
    HMODULE module = LoadLibraryW(wide.c_str());
    if (module == nullptr) {
        *error = "error " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void *>(module);
}

text_function find_function(void *library, const char *name)
{
    return reinterpret_cast<text_function>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(library), name)));
}

void unload_library(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}
#else
void *load_library(const char *file, std::string *error)
{
    void *library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        *error = dlerror();
    }
    return library;
}

text_function find_function(void *library, const char *name)
{
    return reinterpret_cast<text_function>(dlsym(library, name));
}

void unload_library(void *library)
{
    dlclose(library);
}
#endif

}  // namespace

int main(int argc, char **argv)
{
    const char *library_file = AMBREL_LIBRARY_FILE;
    bool last_error = false;
    bool all = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--all") == 0) {
            all = true;
        } else if (std::strcmp(argv[i], "--last-error") == 0) {
            last_error = true;
        } else if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) {
            library_file = argv[++i];
        } else {
            std::fprintf(stderr, "ambrel-status: unknown argument '%s'\n\n%s", argv[i], usage);
            return 2;
        }
    }

    std::string error;
    void *library = load_library(library_file, &error);
    if (library == nullptr) {
        std::fprintf(stderr, "ambrel-status: cannot load %s: %s\n", library_file, error.c_str());
        return 1;
    }
    text_function status = find_function(library, all ? "ambrel_power" : "ambrel_status");
    text_function last_error_text = find_function(library, "ambrel_last_error");
    if (status == nullptr || last_error_text == nullptr) {
        std::fprintf(stderr, "ambrel-status: %s does not export %s\n", library_file,
                     status == nullptr ? (all ? "ambrel_power" : "ambrel_status") : "ambrel_last_error");
        unload_library(library);
        return 1;
    }
    std::printf("%s\n", status());
    if (last_error) {
        std::printf("%s\n", last_error_text());
    }
    unload_library(library);   // the texts live in the library: print them first
    return std::fflush(stdout) == 0 ? 0 : 1;
}
