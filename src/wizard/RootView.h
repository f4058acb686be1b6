#pragma once

#include "manifest/Resolved.h"

#include <QWidget>

class QStackedLayout;

namespace Wizard {

// Everything the setup window shows: one screen at a time over the window's backdrop.
class RootView : public QWidget
{
    Q_OBJECT

public:
    // `resolved` is the manifest the questions come from; `size` is the window's content
    // size, which the screens fill.
    RootView(Manifest::Resolved resolved, QSize size, QWidget *parent = nullptr);

    QSize sizeHint() const override { return m_size; }
    const Manifest::Resolved &resolved() const { return m_resolved; }

private:
    Manifest::Resolved m_resolved;
    QSize m_size;
    QStackedLayout *m_screens = nullptr;
};

} // namespace Wizard
