// The settings model as the controller runs it: the codec on the headless form with the
// marks in section "set" of a real language file, the governor against the calculator
// result, and the refusal to encode a form that a write has cleared.

#include "settings/form_settings_model.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "form/control_ids.h"
#include "form/headless_form.h"
#include "i18n/profile_file.h"
#include "i18n/ui_text.h"
#include "settings/calculator.h"
#include "settings/families.h"

namespace settings {
namespace {

namespace f = form;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr const char* kLanguageText =
    "[english]\n"
    "startAccitems=Soft|Medium|Hard|Punch\n"
    "brakeitems=Off|25%|50%|75%|100%\n"
    "dragbrakeitems=0%|5%|10%|15%\n"
    "throttleForitems=60%|70%|80%|90%|100%\n"
    "MotorDirItems=Normal|Reverse\n"
    "neutralRanitems=Narrow|Normal|Wide\n"
    "motortimingitems=0|5|10|15\n"
    "runmodeitems=Fwd|Fwd/Rev|Fwd/Brake/Rev\n"
    "lowVolitems=Off|2.8V|3.0V|3.2V\n"
    "battTypeItems=LiPo|NiMH\n"
    "startPwr=10%|20%|30%|40%\n"
    "throttleRevitems=25%|50%|75%|100%\n"
    "AirbecItems=5.5V|6.0V|7.4V\n"
    "[boat_field_E]\n"
    "startAccitems=Soft|Medium|Hard\n"
    "brakeitems=Off|Low|Mid|High\n"
    "dragbrakeitems=0%|10%|20%|30%\n"
    "throttleForitems=50%|75%|90%|100%\n"
    "MotorDirItems=Normal|Reverse\n"
    "neutralRanitems=Narrow|Normal|Wide\n"
    "[air_field_E]\n"
    "brakeitems=Off|On\n"
    "neutralRanitems=Narrow|Wide\n"
    "runmodeitems=Fixed|Governor\n"
    "dragbrakeitems=0%|5%|10%\n"
    "motortimingitems=Low|Mid|High\n"
    "startAccitems=Soft|Hard\n"
    "lowVolitems=Off|3.0V\n"
    "MotorDirItems=Normal|Reverse\n"
    "throttleForitems=Auto|Fixed\n"
    "[set]\n"
    "lang_sel=0\n";

class FormSettingsModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string unique = std::string("tessaro_model_") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                   "_" + std::to_string(::getpid());
        m_dir = fs::temp_directory_path() / unique;
        fs::create_directories(m_dir);
        m_savedPath = i18n::g_languageFilePath;
        m_savedChinese = i18n::g_chineseSelected;
        m_savedCalc = g_calcResult;
        i18n::g_languageFilePath = (m_dir / "language.ini").string();
        i18n::g_chineseSelected = i18n::kLanguageEnglish;
        std::ofstream(i18n::g_languageFilePath) << kLanguageText;
    }
    void TearDown() override {
        i18n::g_languageFilePath = m_savedPath;
        i18n::g_chineseSelected = m_savedChinese;
        g_calcResult = m_savedCalc;
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string mark(const char* key) const {
        return i18n::ProfileFile::readString(i18n::g_languageFilePath, i18n::kSectionSet, key,
                                             "<none>");
    }
    void setMark(const char* key, const char* value) {
        ASSERT_TRUE(i18n::ProfileFile::writeString(i18n::g_languageFilePath, i18n::kSectionSet, key,
                                                   value));
    }

    // What the controller does with an accepted reply.
    void acceptReply(FormSettingsModel& model, const EscInfo& esc, const Bytes& reply) {
        uint8_t buffer[200] = {};
        std::copy(reply.begin(), reply.end(), buffer);
        model.fillFamilyTexts(esc);
        model.decodeSettingsFrame(buffer, esc);
    }

    Bytes encode(FormSettingsModel& model, const EscInfo& esc, bool& built) {
        uint8_t tx[kTxFrameCapacity] = {};
        uint32_t length = 0;
        built = model.encodeSettingsFrame(esc, tx, length);
        return Bytes(tx, tx + length);
    }

    fs::path m_dir;
    std::string m_savedPath;
    uint8_t m_savedChinese = 0;
    int64_t m_savedCalc = 0;
};

EscInfo car(uint8_t major, uint8_t length) {
    return EscInfo{.family = kFamilyCarBasic, .major = major, .settingsLength = length};
}

TEST_F(FormSettingsModelTest, ReadBackAfterWriteReproducesTheFrame) {
    f::HeadlessForm form;
    FormSettingsModel model(form);
    const EscInfo boat{.family = kFamilyBoat, .settingsLength = 6};
    model.arrangeMultiBoatForm(boat);
    acceptReply(model, boat, {0x02, 0x03, 0x01, 0x02, 0x01, 0x00});
    EXPECT_EQ(form.itemText(f::kComboBraking, form.selection(f::kComboBraking)), "High");
    bool built = false;
    EXPECT_EQ(encode(model, boat, built), (Bytes{0xF2, 0x02, 0x03, 0x01, 0x02, 0x01, 0x00, 0xD1}));
    EXPECT_TRUE(built);
}

TEST_F(FormSettingsModelTest, SendAfterAClearBuildsNothing) {
    f::HeadlessForm form;
    FormSettingsModel model(form);
    const EscInfo esc = car(2, 11);
    acceptReply(model, esc, {0x01, 0x02, 0x03, 0x18, 0xE0, 0x7C, 0x01, 0x02, 0x03, 0x01, 0x00});
    bool built = false;
    const Bytes first = encode(model, esc, built);
    ASSERT_TRUE(built);
    model.clearFormValues(esc);
    setMark(i18n::kKeyMin1004, "7");

    uint8_t tx[kTxFrameCapacity];
    std::fill(std::begin(tx), std::end(tx), uint8_t{0xE1});
    uint32_t length = 1;
    EXPECT_FALSE(model.encodeSettingsFrame(esc, tx, length));
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(tx[0], 0xE1);
    EXPECT_EQ(mark(i18n::kKeyMin1004), "7");  // no mark written for a frame not built

    // The defaults need no form.
    model.buildDefaultFrame(esc, tx, length);
    EXPECT_EQ(length, 13u);
    EXPECT_EQ(tx[0], common::kSettingsWriteStart);
}

TEST_F(FormSettingsModelTest, MarksLiveInSectionSetOfTheLanguageFile) {
    f::HeadlessForm form;
    FormSettingsModel model(form);
    const EscInfo esc = car(2, 11);
    const Bytes reply{0x01, 0x02, 0x03, 0x00, 0xE0, 0x7C, 0x01, 0x02, 0x03, 0x01, 0x00};
    acceptReply(model, esc, reply);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1000");  // no mark yet

    form.setText(f::kEditMinThrottle, "1004");
    bool built = false;
    const Bytes frame = encode(model, esc, built);
    ASSERT_TRUE(built);
    EXPECT_EQ(frame[4], 0x00);
    EXPECT_EQ(mark(i18n::kKeyMin1004), "1");
    EXPECT_EQ(mark(i18n::kKeyLangSel), "0");  // the rest of the section stays
    EXPECT_EQ(i18n::ProfileFile::readString(i18n::g_languageFilePath, "boat_field_E",
                                            "MotorDirItems", ""),
              "Normal|Reverse");

    // A fresh model (the next run) reads the mark from the file.
    f::HeadlessForm later;
    FormSettingsModel next(later);
    acceptReply(next, esc, reply);
    EXPECT_EQ(later.text(f::kEditMinThrottle), "1004");
    EXPECT_EQ(next.codec().minIs1004(), 1);

    const EscInfo water{.family = kFamilyWater,
                        .variant = 5,
                        .major = 1,
                        .byte5 = 2,
                        .byte6 = 29,
                        .settingsLength = 18};
    acceptReply(next, water, Bytes(18, 0x00));
    later.setText(f::kEditMaxThrottle, "1972");
    later.setText(f::kEditMinThrottle, "1008");
    const Bytes waterFrame = encode(next, water, built);
    ASSERT_TRUE(built);
    EXPECT_EQ(waterFrame[10], 0xF1);
    EXPECT_EQ(mark(i18n::kKeyMaxF1), "0xF3");
    EXPECT_EQ(mark(i18n::kKeyMin1004), "0");
    Bytes waterReply(waterFrame.begin() + 1, waterFrame.end() - 1);
    acceptReply(next, water, waterReply);
    EXPECT_EQ(later.text(f::kEditMaxThrottle), "1972");
}

TEST_F(FormSettingsModelTest, WithoutALanguageFileTheFrameIsBuiltAllTheSame) {
    i18n::g_languageFilePath = (m_dir / "missing" / "language.ini").string();
    f::HeadlessForm form;
    FormSettingsModel model(form);
    const EscInfo esc = car(1, 11);
    for (f::ControlId id :
         {f::kComboStartAccel, f::kComboMotorTiming, f::kComboNeutralRange, f::kComboDragBrake,
          f::kComboCutoffVoltage, f::kComboBatteryType, f::kComboMotorRotation}) {
        form.addItem(id, "only");
        form.setSelection(id, 0);
    }
    form.setText(f::kEditMinThrottle, "1004");
    bool built = false;
    const Bytes frame = encode(model, esc, built);
    EXPECT_TRUE(built);
    EXPECT_EQ(frame.size(), 13u);
    uint8_t reply[200] = {};
    model.decodeSettingsFrame(reply, esc);
    EXPECT_EQ(form.text(f::kEditMinThrottle), "1000");  // the mark is missing: 0
}

struct GovernorCase {
    int64_t calc;
    const char* typed;
    uint8_t low;
    uint8_t high;
    const char* readBack;
};

TEST_F(FormSettingsModelTest, GovernorFollowsTheCalculatorResult) {
    const GovernorCase cases[] = {
        {4160, "5000", 0x0C, 0x0C, "3328"},
        {4160, "2080", 0x0F, 0x07, "2071"},
        {612000000, "612000000", 0x0F, 0x0F, "612000000"},
        {612000000, "700000000", 0x0C, 0x0C, "489600000"},
    };
    for (const GovernorCase& c : cases) {
        g_calcResult = c.calc;
        f::HeadlessForm form;
        FormSettingsModel model(form);
        const EscInfo air{.family = kFamilyAir, .settingsLength = 11};
        model.arrangeAirForm(air);
        acceptReply(model, air, Bytes(11, 0x01));
        form.setText(f::kEditGovernor, c.typed);
        bool built = false;
        const Bytes frame = encode(model, air, built);
        ASSERT_TRUE(built) << c.typed;
        EXPECT_EQ(frame[10], c.low) << c.typed;
        EXPECT_EQ(frame[11], c.high) << c.typed;
        acceptReply(model, air, Bytes(frame.begin() + 1, frame.end() - 1));
        EXPECT_EQ(form.text(f::kEditGovernor), c.readBack) << c.typed;
    }
}

TEST_F(FormSettingsModelTest, HighEndPointSpinStopsWhereItsByteEnds) {
    f::HeadlessForm form;
    EXPECT_EQ(form.spinHigh(f::kSpinHighEndPoint), kHighEndPointSpinHigh);
    EXPECT_EQ(form.spinLow(f::kSpinHighEndPoint), kHighEndPointSpinLow);
}

}  // namespace
}  // namespace settings
