#pragma once

#include <QWidget>

namespace Design {

// The window's backdrop: a neutral, slightly translucent fill where the window system
// composites windows (the desktop shows through), an opaque one where it does not.
class VisualEffect : public QWidget
{
    Q_OBJECT

public:
    explicit VisualEffect(bool translucent, QWidget *parent = nullptr);

    bool isTranslucent() const { return m_translucent; }
    QColor fill() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_translucent;
};

} // namespace Design
