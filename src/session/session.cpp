#include "session/session.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "common/hex.h"
#include "i18n/ui_text.h"
#include "protocol/command_set.h"
#include "settings/families.h"
#include "settings/language_apply.h"
#include "settings/settings_file_commands.h"

namespace session {

namespace {

std::string hexByte(uint8_t byte) {
    return common::hexBytes(std::span<const uint8_t>(&byte, 1));
}

std::string imageProblem(files::ImageLoadResult result, const std::string& path,
                         const std::string& reason) {
    switch (result) {
        case files::ImageLoadResult::Loaded:
            return "";
        case files::ImageLoadResult::TooLong:
            return "'" + path + "' is too large for a firmware image: at most " +
                   std::to_string(files::kMaxImageLength) + " bytes";
        case files::ImageLoadResult::TooShort:
            return "'" + path + "' is too small for a firmware image: more than " +
                   std::to_string(common::kUpdateBlockSize) + " bytes are needed";
        case files::ImageLoadResult::CannotOpen:
            break;
    }
    if (!reason.empty())
        return reason;
    return "cannot read '" + path + "': " + std::strerror(errno != 0 ? errno : ENOENT);
}

}  // namespace

const char* outcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return "ok";
        case Outcome::Refused:
            return "refused";
        case Outcome::Cancelled:
            return "cancelled";
        case Outcome::AdapterRemoved:
            return "adapter removed";
        case Outcome::EscVersionFailed:
            return "no ESC version";
        case Outcome::NotStored:
            return "not stored";
        case Outcome::FileError:
            return "file error";
        case Outcome::UpdateFailed:
            return "update failed";
        case Outcome::EscLost:
            return "ESC lost";
    }
    return "";
}

const char* operationName(Operation operation) {
    switch (operation) {
        case Operation::None:
            return "none";
        case Operation::LinkUp:
            return "link-up";
        case Operation::Read:
            return "read";
        case Operation::Write:
            return "write";
        case Operation::Defaults:
            return "defaults";
        case Operation::Import:
            return "import";
        case Operation::Restore:
            return "restore";
        case Operation::Update:
            return "update";
    }
    return "";
}

std::string shownValue(const form::Form& form, form::ControlId control) {
    if (form.itemCount(control) > 0)
        return std::to_string(form.selection(control));
    return form.text(control);
}

std::vector<uint8_t> answerParameters(const std::vector<uint8_t>& answer, uint8_t family) {
    std::size_t header = 0;
    if (family == settings::kFamilyAbc) {
        if (answer.size() == protocol::kFamily7MinReplyLength)
            header = 1;
        else if (answer.size() == protocol::kFamily7MinReplyLength + 1)
            header = 2;
    }
    header = std::min(header, answer.size());
    std::size_t end = answer.size();
    // A family-7 answer carries 8 data bytes; what follows them (a sum, a terminator) is
    // framing, not parameters.
    if (family == settings::kFamilyAbc)
        end = std::min(end, header + protocol::kFamily7DataLength);
    return {answer.begin() + static_cast<std::ptrdiff_t>(header),
            answer.begin() + static_cast<std::ptrdiff_t>(end)};
}

Session::Session(transport::HidPort& port, transport::ProtocolHost& host, transport::Clock& clock,
                 form::Form& form, form::Prompter& prompter, std::string workingDirectory)
    : m_host(host),
      m_form(form),
      m_workingDirectory(std::move(workingDirectory)),
      m_link(port, host, clock),
      m_model(form),
      m_controller(m_link, host, form, prompter, m_model),
      m_now([] { return std::time(nullptr); }) {
    m_link.setListener(this);
    m_controller.setUpdateSession(&m_update);
    m_host.setTimerHandler(transport::kOpenTimer, [this] {
        m_link.openAdapter();
        noteOpenAttempt();
        afterStep();
    });
    m_host.setTimerHandler(transport::kProtocolTimer, [this] { tick(); });
}

Session::~Session() {
    m_host.setTimerHandler(transport::kOpenTimer, {});
    m_host.setTimerHandler(transport::kProtocolTimer, {});
    m_link.closeLink();
}

// ---- the link ------------------------------------------------------------------------

void Session::startLink() {
    m_link.startLink();
}

bool Session::openNow() {
    m_link.startLink();
    if (m_link.devicePath().empty())
        return false;
    // A command line has no reason to wait for the window's first open attempt.
    m_link.openAdapter();
    noteOpenAttempt();
    afterStep();
    return true;
}

void Session::noteOpenAttempt() {
    std::optional<transport::DeviceHolder> holder = m_link.port().holder();
    if (holder == m_holder)
        return;
    m_holder = std::move(holder);
    if (m_holder && m_listener != nullptr)
        m_listener->adapterHeld(*m_holder);
}

void Session::closeLink() {
    m_link.closeLink();
}

void Session::awaitSettings() {
    if (m_controller.formMatchesEsc() &&
        m_controller.protocolState() == protocol::kStateLinkPolling) {
        m_pending = Operation::LinkUp;
        finish({});
        return;
    }
    m_pending = Operation::LinkUp;
    m_giveUpsBefore = m_controller.versionGiveUps();
}

void Session::deviceChanged(const transport::DeviceEvent& event) {
    m_link.onDeviceChange(event);
    followLayout();
    afterStep();
}

void Session::onAdapterOpened() {
    m_controller.onAdapterOpened();
}

void Session::onAdapterRemoved() {
    m_controller.onAdapterRemoved();
    if (busy()) {
        Result result;
        result.outcome = Outcome::AdapterRemoved;
        result.message = "the link adapter went away";
        finish(result);
    }
}

void Session::tick() {
    if (m_pollChanges) {
        for (const transport::DeviceEvent& event : m_pollChanges()) m_link.onDeviceChange(event);
    }
    m_controller.protocolTick();
    followLayout();
    afterStep();
}

void Session::followLayout() {
    // A turbo ESC's advanced parameters show once it is linked.
    settings::followFamilyLayout(m_form, m_controller.escInfo(), m_controller.escLinked(),
                                 m_layoutMemory);
}

EscIdentity Session::identity() const {
    EscIdentity identity;
    identity.info = m_controller.escInfo();
    if (identity.info.family != settings::kFamilyAbc)
        identity.version = m_controller.escVersionReply();
    return identity;
}

// ---- events and the ends of operations -------------------------------------------------

void Session::afterStep() {
    noteSettingsRead();
    followFormCurrent();
    if (m_listener != nullptr) {
        if (m_controller.adapterLinked() != m_shownAdapter ||
            m_controller.escLinked() != m_shownEsc) {
            m_shownAdapter = m_controller.adapterLinked();
            m_shownEsc = m_controller.escLinked();
            m_listener->linkChanged(m_shownAdapter, m_shownEsc);
        }
        if (m_controller.escVersionCount() != m_shownIdentifications) {
            m_shownIdentifications = m_controller.escVersionCount();
            m_listener->escIdentified(identity());
        }
        if (m_current != m_shownCurrent) {
            m_shownCurrent = m_current;
            m_listener->formCurrentChanged(m_current);
        }
        if (m_keptOutcome) {
            const bool kept = *m_keptOutcome;
            m_keptOutcome.reset();
            m_listener->unsentChangesAfterLoss(kept);
        }
        if (m_pending == Operation::Update && m_update.acknowledgedBytes() != m_shownProgress) {
            m_shownProgress = m_update.acknowledgedBytes();
            m_listener->updateProgress(m_shownProgress, m_update.imageLength());
        }
    }
    followOperation();
    if (m_stepObserver)
        m_stepObserver();
}

void Session::followOperation() {
    if (!busy())
        return;
    if (m_controller.versionGiveUps() != m_giveUpsBefore) {
        Result result;
        result.outcome = Outcome::EscVersionFailed;
        result.message = protocol::kEscVersionFailedMessage;
        finish(result);
        return;
    }
    switch (m_pending) {
        case Operation::None:
            break;
        case Operation::LinkUp:
            if (m_controller.formMatchesEsc() &&
                m_controller.protocolState() == protocol::kStateLinkPolling)
                finish({});
            break;
        case Operation::Read:
            if (settingsReadBack())
                finish({});
            break;
        case Operation::Write:
        case Operation::Import:
        case Operation::Defaults:
        case Operation::Restore:
            if (settingsReadBack())
                finish(compareReadBack());
            break;
        case Operation::Update:
            if (m_update.outcome() == protocol::UpdateOutcome::Succeeded) {
                finish({});
            } else if (m_update.outcome() == protocol::UpdateOutcome::Failed) {
                Result result;
                result.outcome = Outcome::UpdateFailed;
                result.updateState = protocol::kStateUpdateAwaitBlockAck;
                result.message = "the ESC did not acknowledge the block at offset " +
                                 std::to_string(m_update.updateOffset());
                finish(result);
            }
            break;
    }
}

std::vector<std::pair<form::ControlId, std::string>> Session::carriedValues() const {
    std::vector<std::pair<form::ControlId, std::string>> values;
    for (const form::ControlId control : settings::carriedControls(m_controller.escInfo()))
        values.emplace_back(control, shownValue(m_form, control));
    return values;
}

void Session::noteSettingsRead() {
    // Readings come in on the protocol's ticks, each followed by afterStep().
    if (m_controller.settingsReadCount() == m_readValuesOf)
        return;
    m_readValuesOf = m_controller.settingsReadCount();
    m_readValues = carriedValues();
    if (!m_keptChanges)
        return;
    // The first reading after a lost link: the changes made on what the same ESC still
    // holds go back into the form, on top of it; on anything else they would mean other
    // settings than the user chose, and the reading stands.
    KeptChanges kept = std::move(*m_keptChanges);
    m_keptChanges.reset();
    const EscIdentity now = identity();
    const bool same = now.info.family == kept.esc.info.family &&
                      now.info.variant == kept.esc.info.variant &&
                      now.version == kept.esc.version && m_readValues == kept.readValues;
    if (same) {
        for (const auto& [control, value] : kept.values) {
            if (m_form.itemCount(control) > 0) {
                int index = -1;
                std::from_chars(value.data(), value.data() + value.size(), index);
                m_form.setSelection(control, index);
            } else {
                m_form.setText(control, value);
            }
        }
    }
    m_keptOutcome = same;
}

void Session::followFormCurrent() {
    const bool current = m_controller.linksUp() && m_controller.formMatchesEsc();
    if (current == m_current)
        return;
    m_current = current;
    if (current) {
        // Shown again without a reading (the same ESC after a short silence): nothing lost.
        m_keptChanges.reset();
        return;
    }
    if (m_controller.linksUp())
        return;  // in doubt of the ESC's identity, or reading it: the form is left alone
    const std::vector<std::pair<form::ControlId, std::string>> values = carriedValues();
    if (m_readValuesOf != 0 && values != m_readValues)
        m_keptChanges = KeptChanges{values, m_readValues, identity()};
}

bool Session::unsentChanges() {
    noteSettingsRead();
    return m_readValuesOf != 0 && carriedValues() != m_readValues;
}

bool Session::settingsReadBack() const {
    return m_controller.settingsReadCount() > m_readsBefore &&
           m_controller.protocolState() == protocol::kStateLinkPolling;
}

Result Session::compareReadBack() const {
    Result result;
    if (m_pending == Operation::Write || m_pending == Operation::Import) {
        for (const auto& [control, sent] : m_sentValues) {
            const std::string stored = shownValue(m_form, control);
            if (stored != sent)
                result.differences.push_back({control, 0, sent, stored});
        }
    } else {
        const settings::EscInfo esc = m_controller.escInfo();
        const std::vector<uint8_t> stored =
            answerParameters(m_controller.lastSettingsReply(), esc.family);
        std::vector<uint8_t> positions;
        if (m_pending == Operation::Defaults) {
            // Only the bytes the frame carries a setting in are the factory's to keep.
            positions = settings::carriedPositions(esc);
        } else {
            for (std::size_t p = 1; p <= m_sentParameters.size(); ++p)
                positions.push_back(static_cast<uint8_t>(p));
        }
        for (const uint8_t p : positions) {
            if (p == 0 || p > m_sentParameters.size())
                continue;
            const uint8_t sent = m_sentParameters[p - 1];
            if (p > stored.size() || stored[p - 1] != sent) {
                result.differences.push_back(
                    {0, p, hexByte(sent), p > stored.size() ? "nothing" : hexByte(stored[p - 1])});
            }
        }
    }
    if (!result.differences.empty()) {
        result.outcome = Outcome::NotStored;
        result.message = "the ESC did not store " + std::to_string(result.differences.size()) +
                         (result.differences.size() == 1 ? " setting" : " settings") + " as sent";
    }
    return result;
}

void Session::finish(Result result) {
    const Operation operation = m_pending;
    if (!result.backup)
        result.backup = m_pendingBackup;
    m_pending = Operation::None;
    m_pendingBackup.reset();
    m_result = result;
    if (m_listener != nullptr)
        m_listener->finished(operation, m_result);
}

bool Session::refuse(Operation operation, Outcome outcome, std::string message) {
    m_pending = operation;
    Result result;
    result.outcome = outcome;
    result.message = std::move(message);
    finish(result);
    return false;
}

bool Session::begin(Operation operation, bool started) {
    if (!started) {
        // The controller has told the user why (the link, the ESC's identity, a value).
        return refuse(operation, Outcome::Refused, "");
    }
    m_pending = operation;
    m_giveUpsBefore = m_controller.versionGiveUps();
    return true;
}

// ---- operations --------------------------------------------------------------------------

bool Session::read() {
    m_readsBefore = m_controller.settingsReadCount();
    m_controller.readSettingCommand();
    const uint8_t state = m_controller.protocolState();
    return begin(Operation::Read, state == protocol::kStateAwaitSettings ||
                                      state == protocol::kStateAwaitFamily7Settings);
}

bool Session::write() {
    m_sentValues = carriedValues();
    m_readsBefore = m_controller.settingsReadCount();
    m_controller.sendSettingCommand();
    return begin(Operation::Write, m_controller.protocolState() == protocol::kStateWriteSettle);
}

bool Session::backUpBefore(Operation operation) {
    if (!m_controller.requireLinks())
        return refuse(operation, Outcome::Refused, "");  // the warning has said why
    if (!m_controller.formMatchesEsc()) {
        // Without the settings of the ESC now connected there is nothing to keep.
        m_controller.requireIdentifiedEsc();
        return refuse(operation, Outcome::Refused, "");
    }
    if (!m_controller.confirmAbandonUpdate())
        return refuse(operation, Outcome::Cancelled, "the firmware update goes on");
    Result kept = keepBackup();
    if (!kept.ok())
        return refuse(operation, kept.outcome, kept.message);
    m_pendingBackup = kept.backup;
    return true;
}

bool Session::restoreDefaults() {
    if (!backUpBefore(Operation::Defaults))
        return false;
    m_readsBefore = m_controller.settingsReadCount();
    m_controller.restoreDefaultCommand();
    const std::vector<uint8_t> frame = m_controller.lastTxFrame();
    const bool started = m_controller.protocolState() == protocol::kStateWriteSettle;
    if (started && frame.size() >= 2)
        m_sentParameters.assign(frame.begin() + 1, frame.end() - 1);
    return begin(Operation::Defaults, started);
}

bool Session::importSettings(const files::SettingsFile& file) {
    if (!backUpBefore(Operation::Import))
        return false;
    settings::applySettingsFile(m_form, file);
    m_sentValues = carriedValues();
    m_readsBefore = m_controller.settingsReadCount();
    m_controller.sendSettingCommand();
    return begin(Operation::Import, m_controller.protocolState() == protocol::kStateWriteSettle);
}

bool Session::restore(const files::EscBackup& backup) {
    const EscIdentity now = identity();
    if (!m_controller.formMatchesEsc()) {
        return refuse(Operation::Restore, Outcome::Refused,
                      "the ESC's settings have not been read yet");
    }
    if (backup.family != now.info.family || backup.variant != now.info.variant ||
        backup.settings.size() != m_controller.lastSettingsReply().size()) {
        return refuse(
            Operation::Restore, Outcome::Refused,
            "the backup is of an ESC of family " + std::to_string(backup.family) + " variant " +
                std::to_string(backup.variant) + " with " + std::to_string(backup.settings.size()) +
                " bytes of settings; this ESC is of family " + std::to_string(now.info.family) +
                " variant " + std::to_string(now.info.variant) + " with " +
                std::to_string(m_controller.lastSettingsReply().size()));
    }
    const std::vector<uint8_t> parameters = answerParameters(backup.settings, backup.family);
    const auto layout = settings::writeLayoutFor(now.info);
    if (layout && layout->parameterCount != parameters.size()) {
        return refuse(Operation::Restore, Outcome::Refused,
                      "the backup holds " + std::to_string(parameters.size()) +
                          " parameter bytes, this ESC's write frame " +
                          std::to_string(layout->parameterCount));
    }
    if (!backUpBefore(Operation::Restore))
        return false;
    m_readsBefore = m_controller.settingsReadCount();
    m_sentParameters = parameters;
    return begin(Operation::Restore, m_controller.writeParametersCommand(parameters));
}

bool Session::update(const std::string& imagePath) {
    // Loaded aside first: an update still running reads the session's image until the
    // user agreed to abandon it.
    auto image = std::make_unique<files::FirmwareImage>();
    errno = 0;
    std::string reason;
    const files::ImageLoadResult loaded = image->load(imagePath, &reason);
    if (loaded != files::ImageLoadResult::Loaded) {
        refuse(Operation::Update, Outcome::FileError, imageProblem(loaded, imagePath, reason));
        m_result.imageLoad = loaded;
        return false;
    }
    if (!backUpBefore(Operation::Update))
        return false;
    m_image = *image;
    m_shownProgress = -1;
    m_controller.escUpdateCommand(true);
    return begin(Operation::Update,
                 m_controller.protocolState() == protocol::kStateUpdateHandshake);
}

void Session::abortUpdate() {
    const uint8_t state = m_controller.protocolState();
    if (!m_controller.updateInProgress())
        return;
    m_controller.abortUpdate();
    if (m_pending == Operation::Update) {
        Result result;
        result.outcome = Outcome::UpdateFailed;
        result.updateState = state;
        result.message = std::string("stopped in ") + protocol::updateStateName(state) +
                         ": UpdateAbort sent to the ESC";
        finish(result);
    }
}

void Session::giveUp(std::string message) {
    if (!busy())
        return;
    if (m_pending == Operation::Update && m_controller.updateInProgress()) {
        abortUpdate();
        return;
    }
    Result result;
    result.outcome = Outcome::EscLost;
    result.message = std::move(message);
    finish(result);
}

void Session::changeLanguage(bool chinese) {
    const auto reRead = [this] { m_controller.rereadSettingsAfterLanguageChange(); };
    if (chinese) {
        settings::onLanguageChinese(m_form, m_controller.escInfo(), m_controller.escLinked(),
                                    m_layoutMemory, reRead);
    } else {
        settings::onLanguageEnglish(m_form, m_controller.escInfo(), m_controller.escLinked(),
                                    m_layoutMemory, reRead);
    }
}

Result Session::exportSettings(const std::string& path) {
    Result result;
    if (const common::AtomicWriteResult written = settings::captureSettingsFile(m_form).write(path);
        !written) {
        result.outcome = Outcome::FileError;
        result.message = written.message;
    }
    return result;
}

Result Session::keepBackup() {
    Result result;
    if (!m_controller.formMatchesEsc() || m_controller.lastSettingsReply().empty()) {
        result.outcome = Outcome::Refused;
        result.message = "the ESC's settings have not been read, so no backup of them can be kept";
        return result;
    }
    files::EscBackup backup;
    const EscIdentity esc = identity();
    backup.family = esc.info.family;
    backup.variant = esc.info.variant;
    backup.version = esc.version;
    backup.settings = m_controller.lastSettingsReply();
    std::string error;
    result.backup = files::saveEscBackup(m_workingDirectory, backup, m_now(), error);
    if (!result.backup) {
        result.outcome = Outcome::FileError;
        result.message = "no backup of the ESC's settings could be kept (" + error +
                         "), so they were left as they are";
    }
    return result;
}

std::vector<std::string> Session::backups() const {
    return files::listEscBackups(m_workingDirectory);
}

}  // namespace session
