// logvista: shows the service's log and follows it.
//   logvista /path <log path> /language <language>
#include "standins/logvista/CLogCommandLine.h"
#include "standins/logvista/CLogVistaWindow.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("logvista"));

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    CLogCommandLine commandLine;
    if (!commandLine.Parse(args))
    {
        std::fprintf(stderr, "usage: logvista /path <log file> [/language English]\n");
        return 2;
    }
    CLogVistaWindow window(commandLine.Path());
    window.show();
    return app.exec();
}
