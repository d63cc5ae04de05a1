// Micro-benchmarks of the work the program does over and over, each against a budget:
// one polling tick of an idle linked session, decoding and encoding the settings frame of
// every family and layout variant, LookupUiText on the shipped language file and on a
// 10 MB one, and applyLanguage. The budgets and why they are what they are are in the
// table below and in docs/performance.md.
//
//   micro_bench RESOURCES_DIR [Google Benchmark options]
//
// Prints Google Benchmark's table, then one line per benchmark: the median of the
// repetitions, the budget, their ratio and ok or MISSED. Exit status 1 when one misses.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "form/headless_form.h"
#include "form/prompter.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"
#include "link/clock.h"
#include "link/link_adapter.h"
#include "protocol/protocol_controller.h"
#include "protocol/settings_reply_rules.h"
#include "protocol/tick_host.h"
#include "session/session.h"
#include "settings/calculator.h"
#include "settings/families.h"
#include "settings/form_settings_model.h"
#include "settings/language_apply.h"
#include "sim/esc_config.h"
#include "sim/esc_emulator.h"

namespace {

namespace fs = std::filesystem;

fs::path g_resources;
fs::path g_scratch;
std::string g_language;     // a private copy of the shipped language file
std::string g_bigLanguage;  // the shipped file with about 10 MB of other keys in it
constexpr std::size_t kBigFileBytes = 10u << 20;

// ---- budgets ----------------------------------------------------------------------------

// A budget in nanoseconds, on top of the median of `over` when that names a benchmark.
struct Budget {
    double ns;
    const char* why;
    const char* over = nullptr;
};

constexpr double kUs = 1e3;
constexpr double kMs = 1e6;

// The budget of each benchmark, by the name before its first '/'.
const std::map<std::string, Budget>& budgets() {
    static const std::map<std::string, Budget> table = {
        {"tick_idle_linked",
         {300 * kUs, "1 % of the 30 ms tick: the idle window may spend 1 % of a core"}},
        {"decode",
         {100 * kUs, "a third of the tick's budget: the tick that takes a reply decodes it"}},
        {"encode",
         {100 * kUs, "a third of the tick's budget: Send Setting encodes between two ticks"}},
        {"stat_language_file",
         {0, "no budget: what one look at the file's stamp costs on this machine"}},
        {"lookup_shipped",
         {2 * kUs, "served from the parsed copy: one look at the stamp and a search",
          "stat_language_file"}},
        {"lookup_10MB",
         {2 * kUs, "as on the shipped file: a lookup must not depend on the file's size",
          "stat_language_file"}},
        {"lookup_10MB_after_edit",
         {500 * kMs, "the file read and parsed anew once after an edit: well within a click"}},
        {"apply_language",
         {10 * kMs, "a tenth of the 100 ms a click may take to show, the rest for Qt"}},
    };
    return table;
}

// ---- a session, linked and idle ---------------------------------------------------------

class SilentPrompter final : public form::Prompter {
  public:
    form::MessageAnswer showMessage(const std::string&, form::MessageIcon, form::MessageButtons,
                                    form::MessageAnswer defaultAnswer) override {
        return defaultAnswer;
    }
    std::optional<std::string> openFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const form::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// One tick of the session as the link sits idle: the poll's answer read, the next poll
// sent, nothing else. On a virtual clock, so only the work is timed; the simulated ESC
// answers with its realistic delay, within the tick.
void tickIdleLinked(benchmark::State& state) {
    i18n::g_languageFilePath = g_language;
    transport::VirtualClock clock;
    protocol::TickHost host(clock);
    form::HeadlessForm form;
    SilentPrompter prompter;
    settings::initCalculator(form);
    std::shared_ptr<sim::EscEmulator> esc;
    auto port = sim::makeSimulatedDevice({}, &clock, &esc);
    session::Session session(*port, host, clock, form, prompter, g_scratch.string());
    settings::applyLanguage(form, session.controller().escInfo(), false, session.layoutMemory());
    session.openNow();
    session.awaitSettings();
    if (!host.runUntil([&] { return !session.busy(); }, 10000) || !session.lastResult().ok()) {
        state.SkipWithError("the simulated ESC did not link up");
        return;
    }
    host.runFor(10 * transport::kProtocolPeriodMs);
    const uint64_t ticksBefore = host.firedCount(transport::kProtocolTimer);
    for (auto _ : state) host.runFor(transport::kProtocolPeriodMs);
    if (host.firedCount(transport::kProtocolTimer) - ticksBefore !=
            static_cast<uint64_t>(state.iterations()) ||
        !session.controller().linksUp())
        state.SkipWithError("not one idle linked tick per iteration");
}

// ---- the codec --------------------------------------------------------------------------

struct CodecCase {
    const char* name;
    settings::EscInfo esc;
};

settings::EscInfo escOf(uint8_t family, uint8_t major, uint8_t variant, uint8_t length) {
    return settings::EscInfo{.family = family,
                             .variant = variant,
                             .major = major,
                             .byte5 = 0,
                             .byte6 = 0,
                             .settingsLength = length};
}

// Every family, and each variant that changes its layout.
const std::vector<CodecCase>& codecCases() {
    static const std::vector<CodecCase> cases = {
        {"1_air", escOf(1, 1, 0, 11)},
        {"2_car_basic_major1", escOf(2, 1, 0, 12)},
        {"2_car_basic_major2", escOf(2, 2, 0, 11)},
        {"3_car_turbo", escOf(3, 3, 1, 14)},
        {"4_air_bec", escOf(4, 1, 0, 12)},
        {"5_multi", escOf(5, 1, 0, 6)},
        {"6_boat", escOf(6, 1, 0, 6)},
        {"7_abc", escOf(7, 0, 0, 11)},
        {"8_car_full_13", escOf(8, 1, 0, 13)},
        {"8_car_full_15", escOf(8, 3, 0, 15)},
        {"8_car_full_16", escOf(8, 1, 0, 16)},
        {"8_car_full_variant5", escOf(8, 1, 5, 16)},
        {"9_water_variant5", escOf(9, 1, 5, 18)},
        {"9_water_variant6", escOf(9, 1, 6, 19)},
    };
    return cases;
}

// A form arranged for the ESC as the controller arranges it before a reply, and the
// reply: the family's factory-default parameter bytes.
struct CodecRig {
    form::HeadlessForm form;
    settings::FormSettingsModel model{form};
    settings::LayoutMemory memory;
    std::vector<uint8_t> reply;

    explicit CodecRig(const settings::EscInfo& esc) {
        i18n::g_languageFilePath = g_language;
        settings::initCalculator(form);
        settings::applyLanguage(form, esc, true, memory);
        if (const auto* rule = protocol::findSettingsReplyRule(esc.family, esc.variant)) {
            if (rule->arrangement == protocol::FormArrangement::Air)
                model.arrangeAirForm(esc);
            else if (rule->arrangement == protocol::FormArrangement::MultiBoat)
                model.arrangeMultiBoatForm(esc);
            else if (rule->arrangement == protocol::FormArrangement::Car)
                model.arrangeCarForm(esc);
        } else if (esc.family == settings::kFamilyAbc) {
            model.arrangeAbcForm(esc);
        }
        model.fillFamilyTexts(esc);
        if (const auto layout = settings::writeLayoutFor(esc))
            reply.assign(layout->defaults.begin(), layout->defaults.end());
        reply.resize(protocol::kReceiveBufferSize, 0);
    }
};

void decode(benchmark::State& state, const settings::EscInfo& esc) {
    CodecRig rig(esc);
    for (auto _ : state) {
        rig.model.decodeSettingsFrame(rig.reply, esc);
        benchmark::ClobberMemory();
    }
}

void encode(benchmark::State& state, const settings::EscInfo& esc) {
    CodecRig rig(esc);
    rig.model.decodeSettingsFrame(rig.reply, esc);
    // A list the reply does not set (family 8's start power by its item's number) as a
    // user leaves it: with a choice.
    for (const form::ControlId control : settings::carriedControls(esc)) {
        if (rig.form.itemCount(control) > 0 && rig.form.selection(control) < 0)
            rig.form.setSelection(control, 0);
    }
    std::array<uint8_t, settings::kTxFrameCapacity> frame{};
    uint32_t length = 0;
    bool built = true;
    for (auto _ : state) {
        built = rig.model.encodeSettingsFrame(esc, frame, length) && built;
        benchmark::DoNotOptimize(frame.data());
    }
    if (!built || length < 2)
        state.SkipWithError("no frame built");
}

// ---- texts ------------------------------------------------------------------------------

void lookup(benchmark::State& state, const std::string& path) {
    i18n::g_languageFilePath = path;
    i18n::g_chineseSelected = i18n::kLanguageEnglish;
    // The first lookup of the path reads the file: not what is timed here.
    const uint64_t loadsBefore = i18n::ProfileFile::fileLoads();
    i18n::LookupUiText(i18n::kTextOk);
    std::size_t length = 0;
    for (auto _ : state) {
        const std::string text = i18n::LookupUiText(i18n::kTextOk);
        length += text.size();
        benchmark::DoNotOptimize(text.data());
    }
    if (length == 0)
        state.SkipWithError("the key was not found");
    // Once at most, for the first lookup of this path in this process.
    if (i18n::ProfileFile::fileLoads() - loadsBefore > 1)
        state.SkipWithError("the file was read again although it did not change");
}

// What a lookup cannot do without: one stat of the file, so that an edit shows at once.
void statLanguageFile(benchmark::State& state) {
    struct stat st {};
    for (auto _ : state) {
        ::stat(g_language.c_str(), &st);
        benchmark::DoNotOptimize(st.st_mtim);
    }
}

// The first lookup after an edit: the file is read and parsed anew.
void lookupAfterEdit(benchmark::State& state, const std::string& path) {
    i18n::g_languageFilePath = path;
    i18n::g_chineseSelected = i18n::kLanguageEnglish;
    timespec stamp{1'700'000'000, 0};
    for (auto _ : state) {
        state.PauseTiming();
        stamp.tv_nsec += 1;
        const timespec times[2] = {stamp, stamp};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(i18n::LookupUiText(i18n::kTextOk).data());
    }
}

void applyLanguage(benchmark::State& state) {
    i18n::g_languageFilePath = g_language;
    form::HeadlessForm form;
    settings::initCalculator(form);
    settings::LayoutMemory memory;
    const settings::EscInfo esc = escOf(3, 3, 1, 14);
    for (auto _ : state) settings::applyLanguage(form, esc, true, memory);
}

// ---- files ------------------------------------------------------------------------------

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The shipped file with other keys after the header of each of its two language sections,
// so that the keys looked up come after about 5 MB of others each.
void writeBigLanguageFile(const std::string& shipped, const fs::path& path) {
    std::string filler;
    for (std::size_t i = 0; filler.size() < kBigFileBytes / 2; ++i)
        filler += "filler_" + std::to_string(i) + "=a text that no window ever shows\n";
    std::string big;
    big.reserve(shipped.size() + 2 * filler.size());
    std::istringstream lines(shipped);
    for (std::string line; std::getline(lines, line);) {
        big += line;
        big += '\n';
        if (line.rfind("[english]", 0) == 0 || line.rfind("[chinese]", 0) == 0)
            big += filler;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << big;
}

// ---- the report -------------------------------------------------------------------------

class BudgetReporter final : public benchmark::ConsoleReporter {
  public:
    // Without colour codes: the output goes to logs as often as to a terminal.
    BudgetReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                m_medians.push_back(run);
            if (run.error_occurred)
                m_errors.push_back(run.benchmark_name() + ": " + run.error_message);
        }
    }

    // Prints one line per benchmark; false when one missed its budget or failed.
    bool judge() const {
        std::map<std::string, double> medians;
        for (const Run& run : m_medians) medians[run.run_name.function_name] = nanoseconds(run);
        bool ok = m_errors.empty();
        for (const std::string& e : m_errors) std::printf("FAILED %s\n", e.c_str());
        std::printf("\n%-44s %12s %12s %8s\n", "benchmark (median)", "time", "budget", "ratio");
        for (const Run& run : m_medians) {
            const std::string name = run.run_name.function_name;
            const std::string key = name.substr(0, name.find('/'));
            const auto found = budgets().find(key);
            if (found == budgets().end()) {
                std::printf("%-44s no budget\n", name.c_str());
                ok = false;
                continue;
            }
            const double ns = nanoseconds(run);
            const Budget& budget = found->second;
            if (budget.ns == 0) {
                std::printf("%-44s %12s %12s\n", name.c_str(), human(ns).c_str(), "-");
                continue;
            }
            const double limit = budget.ns + (budget.over ? medians[budget.over] : 0);
            const double ratio = ns / limit;
            const bool within = ratio <= 1.0;
            std::printf("%-44s %12s %12s %8.3f  %s\n", name.c_str(), human(ns).c_str(),
                        human(limit).c_str(), ratio, within ? "ok" : "MISSED");
            ok = ok && within;
        }
        std::printf("\nbudgets:\n");
        for (const auto& [key, budget] : budgets()) {
            const std::string amount = budget.ns == 0 ? "-"
                                       : budget.over
                                           ? std::string(budget.over) + " + " + human(budget.ns)
                                           : human(budget.ns);
            std::printf("  %-24s %30s  %s\n", key.c_str(), amount.c_str(), budget.why);
        }
        return ok;
    }

  private:
    static double nanoseconds(const Run& run) {
        return run.GetAdjustedRealTime() *
               benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
               benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    static std::string human(double ns) {
        char text[32];
        if (ns >= kMs)
            std::snprintf(text, sizeof text, "%.2f ms", ns / kMs);
        else if (ns >= kUs)
            std::snprintf(text, sizeof text, "%.2f us", ns / kUs);
        else
            std::snprintf(text, sizeof text, "%.0f ns", ns);
        return text;
    }

    std::vector<Run> m_medians;
    std::vector<std::string> m_errors;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: micro_bench RESOURCES_DIR [benchmark options]\n");
        return 2;
    }
    g_resources = argv[1];
    g_scratch = fs::temp_directory_path() / ("tessaro_micro_bench-" + std::to_string(::getpid()));
    fs::create_directories(g_scratch);
    const std::string shipped = readAll(g_resources / "language.ini");
    if (shipped.empty()) {
        std::fprintf(stderr, "micro_bench: no language.ini in %s\n", argv[1]);
        return 2;
    }
    g_language = (g_scratch / "language.ini").string();
    std::ofstream(g_language, std::ios::binary | std::ios::trunc) << shipped;
    g_bigLanguage = (g_scratch / "big_language.ini").string();
    writeBigLanguageFile(shipped, g_bigLanguage);

    const int repetitions = 5;
    auto add = [&](benchmark::internal::Benchmark* b) {
        b->Repetitions(repetitions)->ReportAggregatesOnly(true);
        return b;
    };
    add(benchmark::RegisterBenchmark("tick_idle_linked", tickIdleLinked))
        ->Unit(benchmark::kMicrosecond);
    for (const CodecCase& c : codecCases()) {
        add(benchmark::RegisterBenchmark((std::string("decode/") + c.name).c_str(), decode, c.esc));
        add(benchmark::RegisterBenchmark((std::string("encode/") + c.name).c_str(), encode, c.esc));
    }
    add(benchmark::RegisterBenchmark("stat_language_file", statLanguageFile));
    add(benchmark::RegisterBenchmark("lookup_shipped", lookup, g_language));
    add(benchmark::RegisterBenchmark("lookup_10MB", lookup, g_bigLanguage));
    add(benchmark::RegisterBenchmark("lookup_10MB_after_edit", lookupAfterEdit, g_bigLanguage))
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    add(benchmark::RegisterBenchmark("apply_language", applyLanguage))
        ->Unit(benchmark::kMicrosecond);

    int benchArgc = argc - 1;
    std::vector<char*> benchArgv(argv + 1, argv + argc);
    benchArgv[0] = argv[0];
    benchmark::Initialize(&benchArgc, benchArgv.data());
    BudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool ok = reporter.judge();
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(g_scratch, ignored);
    return ok ? 0 : 1;
}
