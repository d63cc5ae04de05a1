// tessaro-cli read: the settings of the ESC, as a table or as JSON.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "cli/command_support.h"
#include "cli/generated_docs.h"
#include "settings/parameter_names.h"

namespace cli {

namespace {

// The columns a text takes on a terminal: two for East Asian wide characters, one for
// any other character (UTF-8; a stray byte counts as one).
size_t displayWidth(const std::string& text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        uint32_t code = byte;
        size_t length = 1;
        if (byte >= 0xF0) {
            length = 4;
            code = byte & 0x07U;
        } else if (byte >= 0xE0) {
            length = 3;
            code = byte & 0x0FU;
        } else if (byte >= 0xC0) {
            length = 2;
            code = byte & 0x1FU;
        }
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3FU);
        const bool wide =
            (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
            (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
            (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
            (code >= 0xFFE0 && code <= 0xFFE6);
        width += wide ? 2 : 1;
        i += length;
    }
    return width;
}

struct Row {
    std::string name;
    std::string caption;
    std::string value;
    std::string choices;
};

std::vector<Row> tableRows(CliSession& session) {
    const form::Form& form = session.form();
    std::vector<Row> rows;
    for (const settings::NamedParameter& p :
         settings::namedParameters(session.controller().escInfo())) {
        Row row;
        row.name = std::string(p.name);
        row.caption = p.caption != 0 ? form.text(p.caption) : std::string();
        if (row.caption.empty())
            row.caption = row.name;
        if (p.isList) {
            const int selection = form.selection(p.control);
            row.value = selection >= 0 ? form.itemText(p.control, selection) : "-";
            for (int i = 0; i < form.itemCount(p.control); ++i)
                row.choices += (i == 0 ? "" : " | ") + form.itemText(p.control, i);
        } else {
            row.value = form.text(p.control);
            if (p.spin != 0) {
                row.choices = std::to_string(form.spinLow(p.spin)) + " .. " +
                              std::to_string(form.spinHigh(p.spin));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void pad(std::ostream& out, const std::string& text, size_t width) {
    out << text << std::string(width - std::min(width, displayWidth(text)), ' ');
}

void printTable(std::ostream& out, CliSession& session) {
    const std::vector<Row> rows = tableRows(session);
    size_t nameWidth = 0;
    size_t captionWidth = 0;
    size_t valueWidth = 0;
    for (const Row& row : rows) {
        nameWidth = std::max(nameWidth, displayWidth(row.name));
        captionWidth = std::max(captionWidth, displayWidth(row.caption));
        valueWidth = std::max(valueWidth, displayWidth(row.value));
    }
    for (const Row& row : rows) {
        pad(out, row.name, nameWidth + 2);
        pad(out, row.caption, captionWidth + 2);
        if (row.choices.empty()) {
            out << row.value << "\n";
            continue;
        }
        pad(out, row.value, valueWidth + 2);
        out << row.choices << "\n";
    }
}

int runRead(CommandContext& ctx) {
    if (const int code = expectNoArguments(ctx); code != kExitOk)
        return code;
    int code = kExitOk;
    const auto session = openSessionWithSettings(ctx, code);
    if (!session)
        return code;
    // The completions offer the names of the ESC read last.
    std::vector<std::string> names;
    for (const auto& p : settings::namedParameters(session->controller().escInfo()))
        names.emplace_back(p.name);
    cacheParameterNames(names);
    if (ctx.options.json)
        printJson(ctx.out, *session);
    else
        printTable(ctx.out, *session);
    return kExitOk;
}

}  // namespace

const Command& readCommand() {
    static const Command command{
        "read", "read [--json]", "read the ESC's settings and show each parameter",
        "Links up, waits until the ESC's settings were read and prints one line per\n"
        "parameter the ESC carries: its name (for write), its caption, its value and the\n"
        "choices of a list (or the range of a number). With --json: one JSON object with the\n"
        "identification, the reply as it arrived, the status text and every value control\n"
        "of the parameter form, each with its name and whether this ESC carries it.\n",
        runRead};
    return command;
}

}  // namespace cli
