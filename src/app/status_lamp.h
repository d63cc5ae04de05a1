#pragma once
// A status lamp: a square in the colour of a link's state, outlined in the palette's text
// colour, a widget of its own so that screen readers find it by its name ("USB Device:
// linked"). The state's colour is painted in the shade of it that stands out from the
// window's background in light and dark palettes alike.

#include <QColor>
#include <QWidget>

namespace app {

class StatusLamp final : public QWidget {
    Q_OBJECT
  public:
    explicit StatusLamp(QWidget* parent);

    // The lamp's square in its parent, as the window computed it; the outline lies on its
    // edges, so the lamp covers one pixel more to the right and below.
    void place(const QRect& square);
    // Shows a state: its colour, and its name, which is the lamp's tooltip as well.
    void showState(const QColor& stateColour, const QString& name);
    QColor stateColour() const { return m_state; }
    // The colour painted inside the outline.
    QColor fillColour() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor m_state;
};

}  // namespace app
