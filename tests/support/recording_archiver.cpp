// A stand-in for the archiver that notes the arguments of every run, then runs the real one with
// the same arguments and standard streams (POMU_ARCHIVER_DIR; the note goes to POMU_RUN_NOTES),
// less the one switch POMU_RUN_WITHOUT names, as a faulty archiver would.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

void note(const std::string& line) {
    const char* notes = std::getenv("POMU_RUN_NOTES");
    if (notes == nullptr) return;
    if (std::FILE* file = std::fopen(notes, "ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

}  // namespace

#ifdef _WIN32
int main() {
    // The whole line as this program got it, and the real program with the rest of it.
    const std::wstring line = GetCommandLineW();
    char utf8[65536] = {};
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8, int(sizeof utf8), nullptr, nullptr);
    note(utf8);
    std::size_t rest = line[0] == L'"' ? line.find(L'"', 1) + 1 : line.find(L' ');
    const char* dir = std::getenv("POMU_ARCHIVER_DIR");  // a Unix path, drive Z: under Wine
    if (dir == nullptr) return 2;
    std::string folder = dir;
    for (char& c : folder) c = c == '/' ? '\\' : c;
    std::wstring real = L"\"Z:" + std::wstring(folder.begin(), folder.end()) + L"\\7z.exe\"" +
                        line.substr(rest == std::wstring::npos ? line.size() : rest) + L" ";
    if (const char* without = std::getenv("POMU_RUN_WITHOUT")) {
        const std::wstring word =
            L" " + std::wstring(without, without + std::strlen(without)) + L" ";
        for (std::size_t at; (at = real.find(word)) != std::wstring::npos;)
            real.erase(at, word.size() - 1);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, real.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return 2;
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(started.hProcess, &code);
    return int(code);
}
#else
int main(int, char** argv) {
    std::string line;
    for (char** argument = argv + 1; *argument != nullptr; ++argument) {
        line += std::string(line.empty() ? "" : "\t") + *argument;
    }
    note(line);
    const char* dir = std::getenv("POMU_ARCHIVER_DIR");
    if (dir == nullptr) return 2;
    const std::string real = std::string(dir) + "/7z";
    std::vector<char*> arguments{const_cast<char*>(real.c_str())};
    const char* without = std::getenv("POMU_RUN_WITHOUT");
    for (char** argument = argv + 1; *argument != nullptr; ++argument) {
        if (without == nullptr || std::strcmp(*argument, without) != 0)
            arguments.push_back(*argument);
    }
    arguments.push_back(nullptr);
    ::execv(real.c_str(), arguments.data());
    return 2;
}
#endif
