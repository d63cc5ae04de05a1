#include "session/batch.h"

#include "protocol/command_set.h"
#include "protocol/protocol_controller.h"

namespace session {

const char* batchActionName(BatchAction action) {
    switch (action) {
        case BatchAction::Import:
            return "import";
        case BatchAction::Defaults:
            return "defaults";
        case BatchAction::Flash:
            return "flash";
    }
    return "";
}

const char* batchVerdictName(BatchVerdict verdict) {
    switch (verdict) {
        case BatchVerdict::Programmed:
            return "programmed";
        case BatchVerdict::Skipped:
            return "skipped";
        case BatchVerdict::Failed:
            return "failed";
    }
    return "";
}

Batch::Batch(Session& session) : m_session(session) {}

Batch::~Batch() {
    m_session.setStepObserver({});
}

void Batch::start(const BatchJob& job) {
    m_job = job;
    m_handled = 0;
    m_family.reset();
    m_firstFailure.reset();
    m_stopRequested = false;
    m_session.setStepObserver([this] { step(); });
    enterAwaitEsc();
    step();
}

void Batch::stop() {
    m_stopRequested = true;
    switch (m_state) {
        case State::Idle:
        case State::AwaitEsc:
        case State::AwaitRemoval:
        case State::Reading:
            // Nothing was written to the ESC on the lead: it stays as it is.
            m_state = State::Done;
            break;
        case State::Programming:
            if (m_operation == Operation::Update && m_session.busy()) {
                // As an interrupted update on its own: the ESC is told to abort.
                m_session.abortUpdate();
                step();
            }
            // Settings being written: their read-back ends the batch.
            break;
        case State::Verifying: {
            Result result;
            result.outcome = Outcome::EscLost;
            result.message = "stopped before the ESC answered after its update";
            result.backup = m_programmed.backup;
            report(BatchVerdict::Failed, Operation::LinkUp, result);
            break;
        }
        case State::Done:
            break;
    }
    if (m_state == State::Done && !m_inStep)
        m_session.setStepObserver({});
}

void Batch::enterAwaitEsc() {
    m_state = State::AwaitEsc;
    m_identity = {};
    m_giveUpsBefore = m_session.controller().versionGiveUps();
    if (m_listener != nullptr)
        m_listener->waitingForEsc(m_handled + 1);
}

void Batch::step() {
    if (m_inStep)
        return;
    m_inStep = true;
    const protocol::ProtocolController& controller = m_session.controller();
    switch (m_state) {
        case State::Idle:
        case State::Done:
            break;
        case State::AwaitEsc:
            awaitEsc();
            break;
        case State::Reading:
        case State::Programming:
        case State::Verifying:
            if (m_session.busy() && stalled())
                giveUpStep();
            else if (!m_session.busy())
                operationEnded();
            break;
        case State::AwaitRemoval:
            // Its lamp went out after the silent polls of a lost link; a give-up on its
            // version alone does not mean it left.
            if (!controller.escLinked() && controller.missCount() == protocol::kLinkLostMark)
                enterAwaitEsc();
            break;
    }
    m_inStep = false;
}

void Batch::awaitEsc() {
    const protocol::ProtocolController& controller = m_session.controller();
    if (controller.versionGiveUps() != m_giveUpsBefore) {
        // An ESC answers, but never with its version: it cannot be told what it is.
        m_giveUpsBefore = controller.versionGiveUps();
        Result result;
        result.outcome = Outcome::EscVersionFailed;
        result.message = protocol::kEscVersionFailedMessage;
        report(BatchVerdict::Failed, Operation::LinkUp, result);
        return;
    }
    if (m_session.busy() || !controller.escLinked() || !controller.formMatchesEsc() ||
        controller.protocolState() != protocol::kStateLinkPolling)
        return;
    // Read anew even when the link-up has just read it: an ESC of the same version as the
    // one before keeps that one's form after the identity check.
    m_state = State::Reading;
    if (!startOperation(Operation::Read))
        operationEnded();
}

bool Batch::stalled() {
    const protocol::ProtocolController& controller = m_session.controller();
    const uint32_t now = m_session.link().clock().nowMs();
    const int32_t acknowledged = m_session.firmwareUpdate().acknowledgedBytes();
    if (controller.protocolState() != m_lastState || acknowledged != m_lastAcknowledged) {
        m_lastState = controller.protocolState();
        m_lastAcknowledged = acknowledged;
        m_lastProgressMs = now;
        return false;
    }
    return now - m_lastProgressMs >= m_stepTimeoutMs;  // wrap-safe
}

void Batch::giveUpStep() {
    m_session.giveUp("no answer from the ESC within " + std::to_string(m_stepTimeoutMs / 1000) +
                     " s");
    Result result = m_session.lastResult();
    if (m_state == State::Verifying)
        result.backup = m_programmed.backup;
    // The controller may still wait for the answer of the ESC that went: a reopened link
    // starts with nothing known, and the next ESC is identified afresh.
    m_session.closeLink();
    m_session.openNow();
    report(BatchVerdict::Failed, m_operation, std::move(result));
}

bool Batch::startOperation(Operation operation) {
    m_operation = operation;
    m_lastProgressMs = m_session.link().clock().nowMs();
    m_lastState = m_session.controller().protocolState();
    m_lastAcknowledged = m_session.firmwareUpdate().acknowledgedBytes();
    switch (operation) {
        case Operation::Read:
            return m_session.read();
        case Operation::Import:
            return m_session.importSettings(m_job.file);
        case Operation::Defaults:
            return m_session.restoreDefaults();
        case Operation::Update:
            return m_session.update(m_job.imagePath);
        case Operation::LinkUp:
            m_session.awaitSettings();
            return m_session.busy();
        case Operation::None:
        case Operation::Write:
        case Operation::Restore:
            break;
    }
    return false;
}

bool Batch::fits(uint8_t family) const {
    return m_job.action == BatchAction::Defaults || !m_family || *m_family == family;
}

void Batch::operationEnded() {
    const Result result = m_session.lastResult();
    switch (m_state) {
        case State::Reading: {
            if (!result.ok()) {
                report(BatchVerdict::Failed, Operation::Read, result);
                return;
            }
            m_identity = m_session.identity();
            const uint8_t family = m_identity.info.family;
            if (m_listener != nullptr)
                m_listener->escArrived(m_handled + 1, m_identity);
            if (m_stopRequested) {
                m_state = State::Done;
                return;
            }
            if (!m_family)
                m_family = family;
            if (!fits(family)) {
                Result skipped;
                skipped.outcome = Outcome::Refused;
                skipped.message = "an ESC of family " + std::to_string(family) + ", not " +
                                  std::to_string(*m_family) + ": " +
                                  (m_job.action == BatchAction::Import
                                       ? "the settings file is meant for family "
                                       : "the firmware image is meant for family ") +
                                  std::to_string(*m_family) + ", as the first ESC";
                report(BatchVerdict::Skipped, Operation::Read, skipped);
                return;
            }
            const Operation operation = m_job.action == BatchAction::Import  ? Operation::Import
                                        : m_job.action == BatchAction::Flash ? Operation::Update
                                                                             : Operation::Defaults;
            m_state = State::Programming;
            if (!startOperation(operation))
                operationEnded();
            return;
        }
        case State::Programming:
            if (m_operation == Operation::Update && result.ok() && !m_stopRequested) {
                // The new firmware has to answer and be read before it counts as written.
                m_programmed = result;
                m_state = State::Verifying;
                if (!startOperation(Operation::LinkUp))
                    operationEnded();
                return;
            }
            report(result.ok() ? BatchVerdict::Programmed : BatchVerdict::Failed, m_operation,
                   result);
            return;
        case State::Verifying: {
            Result verified = result;
            verified.backup = m_programmed.backup;
            report(verified.ok() ? BatchVerdict::Programmed : BatchVerdict::Failed,
                   verified.ok() ? Operation::Update : Operation::LinkUp, verified);
            return;
        }
        case State::Idle:
        case State::AwaitEsc:
        case State::AwaitRemoval:
        case State::Done:
            break;
    }
}

void Batch::report(BatchVerdict verdict, Operation operation, Result result) {
    BatchEscReport report;
    report.number = ++m_handled;
    report.verdict = verdict;
    report.identity = m_identity;
    report.operation = operation;
    report.result = std::move(result);
    if (verdict == BatchVerdict::Failed && !m_firstFailure)
        m_firstFailure = report;
    if (m_listener != nullptr)
        m_listener->escDone(report);
    if (m_stopRequested || (m_job.count != 0 && m_handled >= m_job.count)) {
        m_state = State::Done;
        return;
    }
    m_state = State::AwaitRemoval;
    if (m_listener != nullptr)
        m_listener->waitingForRemoval(m_handled);
}

}  // namespace session
