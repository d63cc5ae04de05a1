// tessaro-cli diff: a settings file or a backup against the ESC, or two files, by name.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_messages.h"
#include "cli/command_support.h"
#include "cli/settings_view.h"
#include "settings/parameter_names.h"

namespace cli {

namespace {

// The settings of one side, once the family is known.
std::vector<ParameterValue> valuesOf(const SettingsSource& source, const settings::EscInfo& esc,
                                     const std::vector<uint8_t>& base) {
    if (source.backup)
        return DecodedSettings(*source.backup).values();
    return DecodedSettings(esc, base, *source.file).values();
}

int printDifferences(std::ostream& out, const std::vector<ParameterValue>& left,
                     const std::vector<ParameterValue>& right) {
    struct Line {
        std::string name, caption, a, b;
    };
    std::vector<Line> lines;
    for (const ParameterValue& l : left) {
        const auto r = std::find_if(right.begin(), right.end(),
                                    [&](const ParameterValue& v) { return v.name == l.name; });
        if (r == right.end())
            lines.push_back({l.name, l.caption, l.value, "(none)"});
        else if (r->value != l.value)
            lines.push_back({l.name, l.caption, l.value, r->value});
    }
    for (const ParameterValue& r : right) {
        if (std::none_of(left.begin(), left.end(),
                         [&](const ParameterValue& v) { return v.name == r.name; }))
            lines.push_back({r.name, r.caption, "(none)", r.value});
    }
    size_t widths[3] = {0, 0, 0};
    for (const Line& line : lines) {
        widths[0] = std::max(widths[0], line.name.size());
        widths[1] = std::max(widths[1], line.caption.size());
        widths[2] = std::max(widths[2], line.a.size());
    }
    for (const Line& line : lines) {
        out << line.name << std::string(widths[0] + 2 - line.name.size(), ' ') << line.caption
            << std::string(widths[1] + 2 - std::min(widths[1], line.caption.size()), ' ') << line.a
            << std::string(widths[2] + 2 - line.a.size(), ' ') << "-> " << line.b << "\n";
    }
    return lines.empty() ? kExitOk : kExitNotStored;
}

int runDiff(CommandContext& ctx) {
    const std::vector<std::string>& args = ctx.options.args;
    if (args.empty() || args.size() > 2)
        return fail(ctx.err, kExitUsage, msg(Msg::DiffTakesFiles));
    std::vector<SettingsSource> sources(args.size());
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        if (!readSettingsSource(args[i], sources[i], error))
            return fail(ctx.err, kExitFileError, error);
    }
    const SettingsSource* backup = nullptr;
    for (const SettingsSource& s : sources) {
        if (s.backup && backup == nullptr)
            backup = &s;
    }
    if (const int code = prepareLanguage(ctx); code != kExitOk)
        return code;
    // Two files: the family comes from a backup among them; settings files alone are laid
    // over the ESC's settings, which are read for it.
    if (sources.size() == 2 && backup != nullptr) {
        const settings::EscInfo esc = escInfoOf(*backup->backup);
        const SettingsSource& a = sources[0];
        const SettingsSource& b = sources[1];
        if (a.backup && b.backup && a.backup->family != b.backup->family) {
            return fail(ctx.err, kExitNotStored,
                        msg(Msg::FilesOfFamilies, {a.path, std::to_string(a.backup->family), b.path,
                                                   std::to_string(b.backup->family)}));
        }
        return printDifferences(ctx.out, valuesOf(a, esc, backup->backup->settings),
                                valuesOf(b, esc, backup->backup->settings));
    }
    int code = kExitOk;
    const auto session = openSessionWithSettings(ctx, code);
    if (!session)
        return code;
    const settings::EscInfo esc = session->controller().escInfo();
    const std::vector<uint8_t> reply(session->controller().lastSettingsReply().begin(),
                                     session->controller().lastSettingsReply().end());
    const std::vector<ParameterValue> escValues = parameterValues(session->form(), esc);
    if (sources.size() == 1 && sources[0].backup && sources[0].backup->family != esc.family) {
        return fail(
            ctx.err, kExitNotStored,
            msg(Msg::FileAndEscOfFamilies,
                {args[0], std::to_string(sources[0].backup->family), std::to_string(esc.family)}));
    }
    if (sources.size() == 1)
        return printDifferences(ctx.out, valuesOf(sources[0], esc, reply), escValues);
    return printDifferences(ctx.out, valuesOf(sources[0], esc, reply),
                            valuesOf(sources[1], esc, reply));
}

}  // namespace

const Command& diffCommand() {
    static const Command command{
        "diff", "diff FILE [FILE2]", "compare a settings file or a backup with the ESC, by name",
        "Compares the settings of FILE, a settings file (*.cfg) or a backup (backups/*.esc),\n"
        "with those the ESC holds, or with FILE2. One line per parameter that differs:\n"
        "its name, its caption, the value of FILE and, after \"->\", the ESC's (or FILE2's).\n"
        "A settings file holds no family: it is read over the settings of the ESC (or of a\n"
        "backup given with it). Exit code 0 when they are equal, 3 when they differ.\n",
        runDiff};
    return command;
}

}  // namespace cli
