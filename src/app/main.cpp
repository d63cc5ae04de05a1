#include <QStringList>
#include <cstdio>

#include "app/application.h"

int main(int argc, char** argv) {
    // Usage errors and --help must work without a display, before Qt opens one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const app::StartOptions options = app::parseStartOptions(arguments);
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "tessaro: %s\n", qPrintable(options.error));
        std::fputs(app::usageText(), options.help ? stdout : stderr);
        return options.help ? 0 : 1;
    }
    app::CQuindleApp application(argc, argv);
    return application.startApplication(options);
}
