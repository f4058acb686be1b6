#pragma once

#include <QWidget>

class QStackedLayout;

namespace Wizard {

// Everything the setup window shows: one screen at a time over the window's backdrop.
class RootView : public QWidget
{
    Q_OBJECT

public:
    explicit RootView(QWidget *parent = nullptr);

    QSize sizeHint() const override { return {720, 560}; }

private:
    QStackedLayout *m_screens = nullptr;
};

} // namespace Wizard
