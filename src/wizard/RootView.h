#pragma once

#include <QWidget>

class QStackedLayout;

namespace Wizard {

// Everything the setup window shows: one screen at a time over the window's backdrop.
class RootView : public QWidget
{
    Q_OBJECT

public:
    // `size` is the window's content size, which the screens fill.
    explicit RootView(QSize size, QWidget *parent = nullptr);

    QSize sizeHint() const override { return m_size; }

private:
    QSize m_size;
    QStackedLayout *m_screens = nullptr;
};

} // namespace Wizard
