// A child for the tests of CTestProcess on Windows, where no /bin/sh stands ready:
//   SupportProbe exit <n>   ends with exit code n
//   SupportProbe streams    writes "out" to standard output and "err" to standard error
//   SupportProbe show       writes its working directory, then "<TARVIK_SUPPORT_PROBE>|<HOME>",
//                           then waits ten minutes (to be killed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0)
        return std::atoi(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "streams") == 0)
    {
        std::fputs("out\n", stdout);
        std::fflush(stdout);
        std::fputs("err\n", stderr);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "show") == 0)
    {
        const char* szProbe = std::getenv("TARVIK_SUPPORT_PROBE");
        const char* szHome = std::getenv("HOME");
        std::printf("%s\n%s|%s\n", std::filesystem::current_path().string().c_str(), szProbe ? szProbe : "",
                    szHome ? szHome : "");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::minutes(10));
        return 0;
    }
    std::fputs("usage: SupportProbe exit <n> | streams | show\n", stderr);
    return 2;
}
