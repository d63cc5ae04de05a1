#include "cli/cli_messages.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace cli {

namespace {

struct Entry {
    Msg id;
    std::string_view english;
    std::string_view chinese;
};

constexpr Entry kCatalogue[] = {
    {Msg::SeeHelp, "%1 (see tessaro-cli --help)", "%1（见 tessaro-cli --help）"},
    {Msg::LangWants, "--lang wants en or zh, not '%1'", "--lang 只能是 en 或 zh，不能是“%1”"},
    {Msg::NeedsValue, "%1 needs a value", "%1 需要一个值"},
    {Msg::WantsPositive, "%1 wants a whole number above 0, not '%2'",
     "%1 需要大于 0 的整数，不能是“%2”"},
    {Msg::CompletionWants, "--completion wants bash or zsh, not '%1'",
     "--completion 只能是 bash 或 zsh，不能是“%1”"},
    {Msg::TimeoutRange, "--timeout wants whole seconds from 1 to %1, not '%2'",
     "--timeout 需要 1 到 %1 之间的整秒数，不能是“%2”"},
    {Msg::NoCommandGiven, "no command given", "没有给出命令"},
    {Msg::UnknownOption, "unknown option %1", "未知选项 %1"},
    {Msg::UnknownCommand, "unknown command '%1' (see tessaro-cli --help)",
     "未知命令“%1”（见 tessaro-cli --help）"},
    {Msg::NoSuchCommandHelp, "no command '%1' (see tessaro-cli --help)",
     "没有“%1”这个命令（见 tessaro-cli --help）"},
    {Msg::CannotWriteStdout, "cannot write the standard output", "无法写入标准输出"},
    {Msg::TakesNoArguments, "%1 takes no arguments, not '%2'", "%1 不带参数，多了“%2”"},
    {Msg::NoLanguageFile,
     "no language file at %1: %2 (run tessaro-cli in the folder that holds language.ini)",
     "找不到语言文件 %1：%2（请在存放 language.ini 的文件夹中运行 tessaro-cli）"},
    {Msg::LanguageFileUnreadable, "the language file %1 cannot be read: %2",
     "无法读取语言文件 %1：%2"},
    {Msg::NotRegularFile, "not a regular file", "不是普通文件"},
    {Msg::LargerThan, "larger than %1 bytes", "超过 %1 字节"},
    {Msg::CalculatorRange, "%1 takes a whole number from %2 to %3, not %4",
     "%1 应为 %2 到 %3 之间的整数，不能是 %4"},
    {Msg::CannotStoreLanguage, "cannot store the language in %1", "无法把语言选择保存到 %1"},
    {Msg::NoTerminalGiveYes,
     "%1 asks before it starts, and standard input is no terminal: give --yes to go ahead "
     "without asking",
     "%1 开始前需要确认，但标准输入不是终端：请加上 --yes，不经确认直接执行"},
    {Msg::NotConfirmed, "not confirmed: nothing was sent", "未确认：什么也没有发送"},
    {Msg::Sent, "sent %1", "发送的是 %1"},
    {Msg::Asked, "asked %1", "要求的是 %1"},
    {Msg::FileAsks, "the file asks %1", "文件要求的是 %1"},
    {Msg::ControlNotStored, "%1: %2, the ESC stored %3", "%1：%2，电调保存的却是 %3"},
    {Msg::PositionNotStored, "P%1: sent %2, the ESC stored %3",
     "P%1：发送的是 %2，电调保存的却是 %3"},
    {Msg::NothingSent, "nothing was sent", "什么也没有发送"},
    {Msg::UpdateFailed, "firmware update failed: %1", "固件升级失败：%1"},
    {Msg::Seconds, "%1 s", "%1 秒"},
    {Msg::NoAdapterHid,
     "no link adapter found (USB 10c4:8468): is it plugged in, and may this user open its "
     "hidraw node?",
     "找不到连接适配器（USB 10c4:8468）：适配器插好了吗？当前用户有权限打开它的 hidraw "
     "节点吗？"},
    {Msg::NoAdapterAt, "no link adapter at %1", "%1 上没有连接适配器"},
    {Msg::AdapterNotOpened, "the link adapter at %1 could not be opened",
     "无法打开 %1 上的连接适配器"},
    {Msg::AdapterSilent, "the link adapter did not send its version within %1",
     "连接适配器在 %1内没有发来版本号"},
    {Msg::EscSilent,
     "no answer from the ESC within %1: is it connected to the adapter and powered?",
     "电调在 %1内没有应答：电调接到适配器上并通电了吗？"},
    {Msg::AdapterGone, "the link adapter went away", "连接适配器已被拔出"},
    {Msg::ReplayEnded, "the recording ended before this run did: the replayed adapter went away",
     "录制在本次运行结束之前已经结束：回放的适配器已消失"},
    {Msg::AdapterHeld, "the link adapter at %1 is in use by another process: %2",
     "%1 上的连接适配器正被另一个进程占用：%2"},
    {Msg::SomeProgram, "a program", "某个程序"},
    {Msg::Pid, " (pid %1)", "（进程号 %1）"},
    {Msg::WriteNeedsAssignment, "write needs at least one NAME=VALUE",
     "write 至少需要一个 NAME=VALUE"},
    {Msg::NotAssignment, "'%1' is not NAME=VALUE (or ID=VALUE)",
     "“%1”不是 NAME=VALUE（或 ID=VALUE）的形式"},
    {Msg::NotIdAssignment, "'%1' is not ID=VALUE with two whole numbers",
     "“%1”不是由两个整数组成的 ID=VALUE"},
    {Msg::NotValueControl, "%1 is not a value control of the parameter form",
     "%1 不是参数表中的取值控件"},
    {Msg::NotSettingOfEscId, "%1 is not a setting of this ESC (family %2)",
     "%1 不是这个电调的设置项（系列 %2）"},
    {Msg::NotSettingOfEsc, "'%1' is not a setting of this ESC (family %2)%3",
     "“%1”不是这个电调的设置项（系列 %2）%3"},
    {Msg::Nearest, "; nearest: %1", "；最接近的：%1"},
    {Msg::NotAChoice, "'%1' is not a choice of %2%3", "“%1”不是 %2 的可选项%3"},
    {Msg::Choices, " (choices: %1)", "（可选：%1）"},
    {Msg::ItemIndexRange, "%1 takes an item index from 0 to %2, not %3",
     "%1 的选项序号应为 0 到 %2，不能是 %3"},
    {Msg::NotWholeNumber, "%1 takes a whole number, not '%2'", "%1 应为整数，不能是“%2”"},
    {Msg::ValueRange, "%1 takes a value from %2 to %3, not %4",
     "%1 的取值范围是 %2 到 %3，不能是 %4"},
    {Msg::NoNegativeValue, "%1 takes no negative value", "%1 不能取负值"},
    {Msg::CannotStoreValue, "%1 cannot store %2 (the ESC would keep %3)%4",
     "%1 无法保存 %2（电调实际会保存为 %3）%4"},
    {Msg::Or, "%1 or %2", "%1 或 %2"},
    {Msg::NotInUse, "%1 is not in use for this ESC", "%1 在这个电调上未启用"},
    {Msg::CountNeedsNumber, "--count needs a number of ESCs", "--count 需要给出电调的数量"},
    {Msg::UnknownBatchOption, "unknown option %1 of batch", "batch 没有 %1 这个选项"},
    {Msg::CountRange, "--count takes a number of ESCs from 1 to %1, not '%2'",
     "--count 的电调数量应为 1 到 %1，不能是“%2”"},
    {Msg::BatchWants, "batch wants import FILE, defaults or flash IMAGE",
     "batch 需要 import FILE、defaults 或 flash IMAGE"},
    {Msg::BatchWantsNot, "batch wants import FILE, defaults or flash IMAGE, not '%1'",
     "batch 需要 import FILE、defaults 或 flash IMAGE，不能是“%1”"},
    {Msg::BatchDefaultsNoFile, "batch defaults takes no file", "batch defaults 不带文件"},
    {Msg::BatchTakesOneFile, "batch %1 takes one file", "batch %1 需要一个文件"},
    {Msg::Unidentified, "unidentified", "未识别"},
    {Msg::FamilyVariant, "family %1 variant %2", "系列 %1 型号 %2"},
    {Msg::WaitingForEsc, "waiting for ESC %1 (Ctrl-C ends the batch)",
     "正在等待第 %1 个电调（按 Ctrl-C 结束批量操作）"},
    {Msg::EscDone, "ESC %1 done: take it off the adapter",
     "第 %1 个电调已完成：请把它从适配器上取下"},
    {Msg::BatchRow, "ESC %1: %2: %3", "电调 %1：%2：%3"},
    {Msg::VerdictProgrammed, "programmed", "已写入"},
    {Msg::VerdictSkipped, "skipped", "已跳过"},
    {Msg::VerdictFailed, "failed", "失败"},
    {Msg::RowBackup, " (backup %1)", "（备份 %1）"},
    {Msg::RowFailedIn, " in %1 (%2, exit %3)", "，步骤 %1（%2，退出码 %3）"},
    {Msg::NotSettingsFile, "%1 is not a settings file of 15 bytes", "%1 不是 15 字节的设置文件"},
    {Msg::CannotRead, "cannot read %1", "无法读取 %1"},
    {Msg::CannotReadReason, "cannot read %1: %2", "无法读取 %1：%2"},
    {Msg::NoFirmwareImage,
     "'%1' is no firmware image (more than %2 and at most %3 bytes, readable)",
     "“%1”不是固件映像（应可读取，大于 %2 字节且不超过 %3 字节）"},
    {Msg::ConfirmBatchFlash, "write the firmware image %1 into every ESC put on the adapter?",
     "要把固件映像 %1 写入接到适配器上的每一个电调吗？"},
    {Msg::ConfirmBatchDefaults, "write the factory defaults into every ESC put on the adapter?",
     "要把出厂设置写入接到适配器上的每一个电调吗？"},
    {Msg::ConfirmDefaults, "write the factory defaults into the ESC?", "要把出厂设置写入电调吗？"},
    {Msg::ConfirmFlash, "replace the ESC's firmware with %1?", "要用 %1 替换电调的固件吗？"},
    {Msg::ExportTakesOneFile, "export takes one FILE", "export 需要一个 FILE"},
    {Msg::ImportTakesOneFile, "import takes one FILE", "import 需要一个 FILE"},
    {Msg::StdinNotSettingsFile, "standard input holds %1 bytes, not a settings file of 15 bytes",
     "标准输入有 %1 字节，不是 15 字节的设置文件"},
    {Msg::NotSettingsFileNorBackup, "%1 is not a settings file of 15 bytes (nor a backup, *.esc)",
     "%1 不是 15 字节的设置文件（也不是备份文件 *.esc）"},
    {Msg::CalcTakesNoArguments, "calc takes no arguments, not '%1'", "calc 不带参数，多了“%1”"},
    {Msg::CalcNeeds, "calc needs %1", "calc 需要 %1"},
    {Msg::RestoreTakesBackup, "restore takes one BACKUP file (see backups/)",
     "restore 需要一个 BACKUP 备份文件（见 backups/）"},
    {Msg::DiffTakesFiles, "diff takes FILE [FILE2]", "diff 需要 FILE [FILE2]"},
    {Msg::FilesOfFamilies, "%1 is of family %2, %3 of family %4",
     "%1 属于系列 %2，而 %3 属于系列 %4"},
    {Msg::FileAndEscOfFamilies, "%1 is of family %2, the ESC of family %3",
     "%1 属于系列 %2，而电调属于系列 %3"},
    {Msg::BackupsTakes, "backups takes list, or show N", "backups 需要 list 或 show N"},
    {Msg::BackupsShowRange, "backups show takes a number from 1 to %1 (see backups list), not '%2'",
     "backups show 需要 1 到 %1 之间的编号（见 backups list），不能是“%2”"},
    {Msg::FlashTakesImage, "flash takes one argument, the image file",
     "flash 需要一个参数：固件映像文件"},
    {Msg::CannotReadImage, "cannot read the image file '%1'%2", "无法读取固件映像文件“%1”%2"},
    {Msg::ImageTooLong, "'%1' has %2 bytes: a firmware image has at most %3 bytes",
     "“%1”有 %2 字节：固件映像最多 %3 字节"},
    {Msg::ImageTooShort, "'%1' has %2 bytes: a firmware image has more than %3 bytes",
     "“%1”有 %2 字节：固件映像须大于 %3 字节"},
    {Msg::FlashProgress, "flash %1%", "刷写固件 %1%"},
    {Msg::InterruptedBySignal, "firmware update interrupted by %1", "固件升级被 %1 中断"},
    {Msg::Interrupted, "firmware update interrupted", "固件升级被中断"},
    {Msg::UpdateNotStarted, "the update could not be started", "无法开始升级"},
    {Msg::UpdateAbortSent, ": UpdateAbort sent to the ESC", "：已向电调发送 UpdateAbort"},
    {Msg::UpdateStalled, "firmware update failed: no answer from the ESC within %1 (in %2)%3",
     "固件升级失败：电调在 %1内没有应答（处于 %2）%3"},
    {Msg::UpdateAdapterGone, "firmware update failed: the link adapter went away during the update",
     "固件升级失败：升级过程中连接适配器被拔出"},
    {Msg::Flashed, "flashed %1 bytes in %2", "已刷写 %1 字节，用时 %2"},
    {Msg::DevicesTakesNoArguments, "devices takes no arguments, not '%1'",
     "devices 不带参数，多了“%1”"},
    {Msg::NoAdapterFound, "no link adapter found (device %1)", "找不到连接适配器（设备 %1）"},
    {Msg::NoAdapterCanBeOpened, "no link adapter can be opened (device %1)",
     "没有可以打开的连接适配器（设备 %1）"},
    {Msg::CanBeOpened, "can be opened", "可以打开"},
    {Msg::CanBeOpenedBut, "can be opened, %1", "可以打开，%1"},
    {Msg::NoSubcommand, "no subcommand given", "没有给出子命令"},
    {Msg::UnknownSubcommand, "unknown subcommand '%1'", "未知子命令“%1”"},
    {Msg::SubcommandArguments, "%1 takes %2 arguments, not %3", "%1 需要 %2 个参数，而不是 %3 个"},
    {Msg::CannotStoreKey,
     "cannot store this key or value (empty key, '=' or '[' in the key, a line break, or text "
     "that is not UTF-8)",
     "无法保存这个键或值（键为空、键中含有“=”或“[”、含有换行，或不是 UTF-8 文本）"},
    {Msg::CannotWriteQuoted, "cannot write '%1'", "无法写入“%1”"},
    {Msg::CannotReadQuoted, "cannot read '%1'", "无法读取“%1”"},
    {Msg::NoNamedAdapter,
     "no link adapter %1 found (USB 10c4:8468): is it plugged in? tessaro-cli devices lists "
     "those there are",
     "找不到连接适配器 %1（USB 10c4:8468）：适配器插好了吗？tessaro-cli devices "
     "可列出现有的适配器"},
    {Msg::AdapterCannotOpen, "the link adapter at %1 %2; fix: %3",
     "%1 上的连接适配器%2；解决办法：%3"},
    {Msg::SeveralAdapters,
     "%1 link adapters are plugged in: name the one to use, as in --device hid:%2 or "
     "--device hid:serial=SERIAL",
     "插着 %1 个连接适配器：请指定要用的那一个，例如 --device hid:%2 或 --device "
     "hid:serial=序列号"},
    {Msg::ServeNeedsListen,
     "serve needs --listen PATH, the socket to serve the adapter on (and takes --stream)",
     "serve 需要 --listen PATH，即提供适配器的套接字（另可加 --stream）"},
    {Msg::ServeCannotListen, "cannot serve on %1", "无法在 %1 上提供服务"},
    {Msg::ServeListening, "listening on %1 for device %2 (one client at a time; Ctrl-C ends)",
     "正在 %1 上为设备 %2 提供服务（同一时间只服务一个客户端；按 Ctrl-C 结束）"},
    {Msg::ServeClientConnected, "client connected", "客户端已连接"},
    {Msg::ServeClientGone, "client gone; the adapter is closed", "客户端已断开；适配器已关闭"},
    {Msg::ServeClientRefused, "another client refused: one is being served",
     "拒绝了另一个客户端：正在服务一个客户端"},
    {Msg::ServeClientTurnedAway, "client turned away: %1", "客户端被拒绝：%1"},
    {Msg::ServeAdapterOpened, "adapter %1 opened", "适配器 %1 已打开"},
    {Msg::ServeAdapterRemoved, "adapter %1 removed; the client's connection is closed",
     "适配器 %1 已拔出；客户端的连接已关闭"},
    {Msg::ServeClientDropped, "client dropped: it does not take what the adapter sends",
     "已断开客户端：它不接收适配器发来的数据"},
    {Msg::ServeStopped, "stopped by %1; %2 removed", "因 %1 停止；已删除 %2"},
    {Msg::UdevTakes, "udev wants check or install", "udev 需要 check 或 install"},
    {Msg::UdevRuleSame, "%1: this program's rule", "%1：本程序的规则"},
    {Msg::UdevRuleDifferent, "%1: a different rule for the adapter: %2",
     "%1：另一条针对适配器的规则：%2"},
    {Msg::UdevRuleHidden, "%1: not read, %2 has the same name", "%1：不生效，%2 与它同名"},
    {Msg::UdevRuleTooLate, "%1: this program's rule, but it comes after %2 and is too late",
     "%1：本程序的规则，但排在 %2 之后，来不及生效"},
    {Msg::UdevRuleInstalled, "the udev rule is installed", "udev 规则已安装"},
    {Msg::UdevRuleMissing, "the udev rule is not installed (tessaro-cli udev install installs it)",
     "udev 规则未安装（tessaro-cli udev install 可以安装）"},
    {Msg::UdevAdapterOk, "adapter %1 (%2): accessible", "适配器 %1（%2）：可以访问"},
    {Msg::UdevAdapterNot, "adapter %1 (%2): not accessible: %3", "适配器 %1（%2）：无法访问：%3"},
    {Msg::UdevAdapterClosed, "an adapter cannot be opened", "有适配器无法打开"},
    {Msg::UdevNoAdapter, "no adapter is plugged in", "没有插入适配器"},
    {Msg::UdevThroughElevation, "installing the rule as root through %1",
     "通过 %1 以 root 身份安装规则"},
    {Msg::UdevNoElevation,
     "only root may install the rule, and neither sudo nor pkexec is there: run this as root",
     "只有 root 可以安装规则，而系统中既没有 sudo 也没有 pkexec：请以 root 身份运行"},
    {Msg::UdevWriteFailed, "the rule could not be written to %1: %2", "无法把规则写入 %1：%2"},
    {Msg::UdevReloadFailed,
     "the rule is in %1, but udev did not reload its rules (%2): is udev running? Replug the "
     "adapter once it is",
     "规则已在 %1，但 udev 没有重新加载规则（%2）：udev 是否在运行？运行后请重新插拔适配器"},
    {Msg::UdevTriggerFailed,
     "the rule is in %1, but udev did not apply it to the adapter (%2): replug the adapter",
     "规则已在 %1，但 udev 没有把它应用到适配器（%2）：请重新插拔适配器"},
    {Msg::UdevWritten, "the udev rule is written to %1", "udev 规则已写入 %1"},
    {Msg::UdevAlreadyThere, "the same udev rule is in force already: %1",
     "相同的 udev 规则已经生效：%1"},
    {Msg::UdevApplied, "udev reloaded its rules and applied them to the adapters plugged in",
     "udev 已重新加载规则，并应用到已插入的适配器"},
};

bool g_chinese = false;

std::string fill(std::string_view pattern, std::initializer_list<std::string> args) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next >= '1' && next <= '9') {
            const auto index = static_cast<std::size_t>(next - '1');
            if (index < args.size()) {
                text += *std::next(args.begin(), static_cast<std::ptrdiff_t>(index));
                ++i;
                continue;
            }
        }
        text += pattern[i];
    }
    return text;
}

}  // namespace

void setChineseMessages(bool chinese) {
    g_chinese = chinese;
}

bool chineseMessages() {
    return g_chinese;
}

std::string msgIn(bool chinese, Msg id, std::initializer_list<std::string> args) {
    for (const Entry& entry : kCatalogue) {
        if (entry.id == id)
            return fill(chinese ? entry.chinese : entry.english, args);
    }
    return std::string();
}

std::string msg(Msg id, std::initializer_list<std::string> args) {
    return msgIn(g_chinese, id, args);
}

}  // namespace cli
