#pragma once
// The language choice and the lookup every other part of the program uses for its texts.

#include <cstdint>
#include <string>
#include <string_view>

namespace i18n {

// 1 selects the Chinese texts; any other value English. Written only by applyLanguage.
extern uint8_t g_chineseSelected;
// Full path of language.ini: the working directory followed by "/language.ini".
extern std::string g_languageFilePath;

inline constexpr const char* kSectionChinese = "chinese";
inline constexpr const char* kSectionEnglish = "english";
inline constexpr const char* kSectionSet = "set";

// Keys of section "set".
inline constexpr const char* kKeyLangSel = "lang_sel";
inline constexpr const char* kKeyMin1004 = "min_1004";
inline constexpr const char* kKeyMaxF1 = "max_F1";

// Values of g_chineseSelected as readLanguageChoice gives them.
inline constexpr uint8_t kLanguageEnglish = 0;
inline constexpr uint8_t kLanguageChinese = 1;

// Message keys fetched with LookupUiText.
inline constexpr const char* kTextLinkNotEstablished = "linkNoEstablished";
inline constexpr const char* kTextReading = "reading";
inline constexpr const char* kTextSending = "sending";
inline constexpr const char* kTextPleaseWait = "plswait";
inline constexpr const char* kTextOk = "okey";
// "Success" after a settings write, Chinese section only; the key's odd spelling is part
// of the file format.
inline constexpr const char* kTextWriteDoneChinese = "鎴愬姛";
inline constexpr const char* kTextUpdateFail = "UpdateFail";
// Send Setting refused because a drop-down list of the form has no selection.
inline constexpr const char* kTextNoSelection = "noSelection";
// Export Data could not write its file.
inline constexpr const char* kTextExportFailed = "exportFail";
// Export Data was given no file name (nothing, an extension alone, or a folder).
inline constexpr const char* kTextExportBadName = "exportBadName";
// Export Data found the chosen file read-only and left it; the path follows on a line.
inline constexpr const char* kTextExportReadOnly = "exportReadOnly";
// Import Data was given a file that is there but cannot be read (a FIFO, a folder, no
// permission); the path follows on a line.
inline constexpr const char* kTextImportCannotRead = "importCannotRead";
// ESC Update refused a firmware file that does not fit the transfer.
inline constexpr const char* kTextImageTooLong = "imageTooLong";
inline constexpr const char* kTextImageTooShort = "imageTooShort";
// Status text before the path of the settings backup taken before overwriting the ESC.
inline constexpr const char* kTextBackupSaved = "backupSaved";
// A write refused because the ESC now connected is not the one the form was read from.
inline constexpr const char* kTextEscNotIdentified = "escNotIdentified";
// A command that would abandon a running firmware update asks first.
inline constexpr const char* kTextConfirmAbandonUpdate = "confirmAbandonUpdate";
// Closing the window during a firmware update asks first.
inline constexpr const char* kTextConfirmCloseUpdate = "confirmCloseUpdate";
// Closing the window while the form holds changes not yet sent to the ESC asks first.
inline constexpr const char* kTextConfirmDiscardChanges = "confirmDiscardChanges";
// The window's menu of backups to restore.
inline constexpr const char* kTextRestoreBackup = "restoreBackup";
inline constexpr const char* kTextNoBackups = "noBackups";
inline constexpr const char* kTextRestoreBackupConfirm = "restoreBackupConfirm";
// In the title while the device is the built-in simulated adapter and ESC.
inline constexpr const char* kTextSimulatedDevice = "simulatedDevice";
// Restore Default Data asks first.
inline constexpr const char* kTextConfirmRestoreDefault = "confirmRestoreDefault";
// The status field at the end of a firmware update.
inline constexpr const char* kTextUpdateDone = "updateDone";
inline constexpr const char* kTextUpdateFailed = "updateFailed";
// Status texts before the path of the settings file Export Data wrote and Import Data read.
inline constexpr const char* kTextExportDone = "exportDone";
inline constexpr const char* kTextImportDone = "importDone";
// Help → Help found no user guide; the places looked in follow, one a line.
inline constexpr const char* kTextHelpMissing = "helpMissing";
// The status field while a lamp is red, saying why: no adapter; an adapter this user may
// not open (the fix follows), one another program holds, one that fails to open for
// another reason; the adapter answering without the ESC.
inline constexpr const char* kTextNoAdapter = "noAdapter";
inline constexpr const char* kTextAdapterNoAccess = "adapterNoAccess";
inline constexpr const char* kTextAdapterBusy = "adapterBusy";
inline constexpr const char* kTextAdapterOpenFailed = "adapterOpenFailed";
inline constexpr const char* kTextEscNoAnswer = "escNoAnswer";
// The status field when the ESC was read again after a lost link, while the form held
// changes not yet sent: still there to send, or replaced by what the ESC holds.
inline constexpr const char* kTextChangesKept = "changesKept";
inline constexpr const char* kTextChangesReplaced = "changesReplaced";
// Tooltips of the toolbar's buttons, which screen readers read as their names too.
inline constexpr const char* kTextTipEnglish = "tipEnglish";
inline constexpr const char* kTextTipChinese = "tipChinese";
inline constexpr const char* kTextTipExport = "tipExport";
inline constexpr const char* kTextTipImport = "tipImport";
inline constexpr const char* kTextTipRestore = "tipRestore";
inline constexpr const char* kTextTipExit = "tipExit";
// Names screen readers give the controls no label captions.
inline constexpr const char* kTextNameStatus = "nameStatus";
inline constexpr const char* kTextNameProgress = "nameProgress";
inline constexpr const char* kTextNameLowEndPoint = "nameLowEndPoint";
inline constexpr const char* kTextNameHighEndPoint = "nameHighEndPoint";
// A spin's name; "%1" is the name of the edit it steps.
inline constexpr const char* kTextNameSpin = "nameSpin";
// A status lamp's name and tooltip; "%1" is the caption beside it.
inline constexpr const char* kTextLampLinked = "lampLinked";
inline constexpr const char* kTextLampNotLinked = "lampNotLinked";
// The adapter lamp's name while linked: "%1" the caption, "%2" the adapter's path, "%3" its
// serial number.
inline constexpr const char* kTextLampAdapter = "lampAdapter";
inline constexpr const char* kTextLampAdapterSerial = "lampAdapterSerial";
// Beside "no adapter" when the device names one adapter: "%1" is its node or serial number.
inline constexpr const char* kTextAdapterNamed = "adapterNamed";
// The status field while another process holds the adapter; its name and id follow.
inline constexpr const char* kTextAdapterHeld = "adapterHeld";
// The status field when a replayed device departs from its recording (the message box
// below it shows both reports), and when the recording has run out.
inline constexpr const char* kTextReplayDiffers = "replayDiffers";
inline constexpr const char* kTextReplayEnded = "replayEnded";

// Section of the current language: "chinese" when g_chineseSelected is 1, else "english".
const char* languageSection();
// The text of `key` in the current language's section, read anew from the file at every
// call; empty when missing; at most 259 characters.
std::string LookupUiText(std::string_view key);
// g_languageFilePath for a working directory ("language.ini" alone for an empty one).
std::string languageFilePathFor(const std::string& workingDirectory);

// "lang_sel" of section "set" in g_languageFilePath, low byte, as kLanguageChinese when it
// is 1 and kLanguageEnglish for every other value or when it is missing. What
// applyLanguage stores in g_chineseSelected.
uint8_t readLanguageChoice();
// Writes "lang_sel" as "1" for kLanguageChinese, "0" otherwise. False when the file
// cannot be written.
bool writeLanguageChoice(uint8_t choice);

}  // namespace i18n
