#pragma once
// Programming one ESC after another on the same adapter: a bench where the user puts an
// ESC on the lead, the program identifies it, reads it, keeps a backup of its settings,
// programs it (a settings file, the factory defaults or a firmware image), checks the
// result by reading it back, and reports it; then waits for that ESC to go (its lamp goes
// out) and for the next one to answer.
//
// The batch runs inside the session's ticks, on whatever host drives them (the window's
// timers, the CLI's tick host): a front end starts it, listens, and asks it to stop.
//
// Which ESCs fit: the first ESC identified sets the batch's family. A settings file holds
// list positions without a family mark, meant for the family of the form it came from,
// so it fits ESCs of that family only; the factory defaults fit every family (each ESC
// gets its own); a firmware image carries no family mark either and is built for one
// family's hardware, so it is only written into ESCs of the first ESC's family: an image
// of another family would leave an ESC without working firmware. An ESC that does not fit
// is reported as skipped and left as it is.

#include <cstdint>
#include <optional>
#include <string>

#include "files/settings_file.h"
#include "session/session.h"

namespace session {

enum class BatchAction { Import, Defaults, Flash };

inline constexpr uint32_t kDefaultBatchStepTimeoutMs = 20000;

const char* batchActionName(BatchAction action);

struct BatchJob {
    BatchAction action = BatchAction::Defaults;
    files::SettingsFile file;  // Import
    std::string imagePath;     // Flash
    // ESCs to handle (programmed, skipped or failed) before the batch ends; 0: no limit.
    uint32_t count = 0;
};

enum class BatchVerdict {
    Programmed,  // programmed and read back as asked
    Skipped,     // of another family than the action fits: left as it is
    Failed,      // the reading, the backup, the programming or the check failed
};

const char* batchVerdictName(BatchVerdict verdict);

// The end of one ESC of the batch.
struct BatchEscReport {
    uint32_t number = 0;  // 1 for the first ESC of the batch
    BatchVerdict verdict = BatchVerdict::Failed;
    // Who it was (the family stays 0 when it never identified itself).
    EscIdentity identity;
    // The step it ended in (Read, Import, Defaults, Update, or LinkUp for the reading
    // after a firmware update) and how that ended, with the backup kept before it.
    Operation operation = Operation::None;
    Result result;
};

class BatchListener {
  public:
    virtual ~BatchListener() = default;
    // Waiting for ESC `number` to answer.
    virtual void waitingForEsc(uint32_t number) { (void)number; }
    // ESC `number` identified itself and was read.
    virtual void escArrived(uint32_t number, const EscIdentity& identity) {
        (void)number;
        (void)identity;
    }
    virtual void escDone(const BatchEscReport& report) { (void)report; }
    // Waiting for ESC `number` to leave the lead.
    virtual void waitingForRemoval(uint32_t number) { (void)number; }
};

class Batch {
  public:
    // `session` must outlive the batch; the batch watches its every step while it runs.
    explicit Batch(Session& session);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    void setListener(BatchListener* listener) { m_listener = listener; }
    // How long a step may go without progress (no change of the protocol's state or of the
    // bytes an update acknowledged) before the ESC counts as gone: the step is given up,
    // the ESC reported as failed (EscLost, or an aborted update) and the link reopened,
    // so that nothing the controller still waited for is taken from the next ESC.
    void setStepTimeoutMs(uint32_t ms) { m_stepTimeoutMs = ms; }
    // Starts the batch on a session whose adapter is open.
    void start(const BatchJob& job);
    // Ends the batch cleanly: at once while it waits for an ESC; after the ESC's
    // read-back while settings are being written; a running firmware update is aborted
    // (UpdateAbort to the ESC) and reported as failed; an ESC only being read is left
    // unprogrammed and unreported.
    void stop();
    bool done() const { return m_state == State::Done; }
    bool stopped() const { return m_stopRequested; }

    uint32_t handled() const { return m_handled; }
    // The family the batch set from its first ESC, once known.
    std::optional<uint8_t> family() const { return m_family; }
    // The first failure, if any.
    const std::optional<BatchEscReport>& firstFailure() const { return m_firstFailure; }

  private:
    enum class State { Idle, AwaitEsc, Reading, Programming, Verifying, AwaitRemoval, Done };

    void step();
    void enterAwaitEsc();
    void awaitEsc();
    // The operation of the state has ended: the next step, or the ESC's report.
    void operationEnded();
    void report(BatchVerdict verdict, Operation operation, Result result);
    // Starts `operation`; false when it ended at once (its result is the session's last).
    bool startOperation(Operation operation);
    bool fits(uint8_t family) const;
    // Whether the step under way has made no progress for the time-out.
    bool stalled();
    void giveUpStep();

    Session& m_session;
    BatchListener* m_listener = nullptr;
    BatchJob m_job;
    State m_state = State::Idle;
    bool m_inStep = false;
    bool m_stopRequested = false;
    uint32_t m_handled = 0;
    uint32_t m_giveUpsBefore = 0;
    std::optional<uint8_t> m_family;
    EscIdentity m_identity;
    Operation m_operation = Operation::None;
    Result m_programmed;  // the end of the firmware update, while its ESC is read again
    uint32_t m_stepTimeoutMs = kDefaultBatchStepTimeoutMs;
    uint32_t m_lastProgressMs = 0;
    uint8_t m_lastState = 0;
    int32_t m_lastAcknowledged = 0;
    std::optional<BatchEscReport> m_firstFailure;
};

}  // namespace session
