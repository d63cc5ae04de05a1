#pragma once
// An up-down control as the layout knows it: a pair of arrows at the right edge of a
// buddy edit, with a range, a step and a position that it writes into the buddy. The
// position follows the buddy's text too, whoever wrote it (a read, an import, the user),
// so a step always starts from the value shown. Before a step it announces the position
// it is about to show, as the calculator expects.

#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

namespace app {

class UpDown final : public QWidget {
    Q_OBJECT
  public:
    UpDown(QWidget* parent, bool arrowKeys);

    void setBuddy(QLineEdit* buddy);
    QLineEdit* buddy() const { return m_buddy; }
    void setRange(int low, int high);
    int low() const { return m_low; }
    int high() const { return m_high; }
    void setStep(int step) { m_step = step; }
    int step() const { return m_step; }
    // The position, kept inside the range; the buddy shows it as a plain integer.
    void setPosition(int position);
    int position() const { return m_position; }
    // Takes the number the buddy shows as the position (kept inside the range); other
    // text leaves the position as it is.
    void followBuddy();
    // Places the arrows at the buddy's right edge.
    void attachToBuddy();
    // One step up (+1) or down (−1), as a click on an arrow does; nothing while the spin
    // or its buddy is disabled.
    void stepBy(int direction);
    // The arrow buttons, for those that click them.
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

  signals:
    // Sent before the position changes: the current position and the signed step.
    void aboutToStep(int current, int delta);
    void positionChanged(int position);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int clamp(int value) const;
    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_buddy = nullptr;
    bool m_arrowKeys;
    int m_low = 0;
    int m_high = 100;
    int m_step = 1;
    int m_position = 0;
};

}  // namespace app
