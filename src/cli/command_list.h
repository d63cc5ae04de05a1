// The registration of every command of tessaro-cli, one line each, in the order --help
// lists them. A line TESSARO_CLI_COMMAND(x) names the function `const Command& x()` that
// the command's own source file defines. No include guard: read twice by command_table.cpp.

TESSARO_CLI_COMMAND(infoCommand)
TESSARO_CLI_COMMAND(readCommand)
TESSARO_CLI_COMMAND(writeCommand)
TESSARO_CLI_COMMAND(defaultsCommand)
TESSARO_CLI_COMMAND(restoreCommand)
TESSARO_CLI_COMMAND(backupsCommand)
TESSARO_CLI_COMMAND(diffCommand)
TESSARO_CLI_COMMAND(exportCommand)
TESSARO_CLI_COMMAND(importCommand)
TESSARO_CLI_COMMAND(flashCommand)
TESSARO_CLI_COMMAND(batchCommand)
TESSARO_CLI_COMMAND(devicesCommand)
TESSARO_CLI_COMMAND(serveCommand)
TESSARO_CLI_COMMAND(udevCommand)
TESSARO_CLI_COMMAND(calcCommand)
TESSARO_CLI_COMMAND(profileCommand)
