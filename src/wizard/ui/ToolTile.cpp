#include "wizard/ui/ToolTile.h"

#include "design/Design.h"
#include "manifest/KnownHarness.h"

#include <QPainter>

namespace Wizard {

namespace {
constexpr int padding = 18;
constexpr int separator = 2;
} // namespace

ToolTile::ToolTile(const QString &harnessId, const QString &name, QWidget *parent)
    : FocusRingButton(parent)
    , m_harnessId(harnessId)
{
    setText(name);
    setCheckable(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(name);
}

QString ToolTile::code(const QString &harnessId)
{
    if (const auto known = Manifest::knownHarness(harnessId)) {
        switch (*known) {
        case Manifest::KnownHarness::ClaudeCode:
            return QStringLiteral("CC");
        case Manifest::KnownHarness::Codex:
            return QStringLiteral("CX");
        }
    }
    return QStringLiteral("OC");
}

void ToolTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool selected = isChecked();
    const QColor ink = selected ? QColor(Qt::white) : Design::ink();
    painter.fillRect(rect(), selected ? Design::red() : Design::paper());
    // Each tile draws the bar along its right edge; the row's outline closes the last one.
    painter.fillRect(QRect(width() - separator, 0, separator, height()), Design::line());

    const QRect content = rect().adjusted(padding, padding, -padding - separator, -padding);
    painter.setPen(ink);
    painter.setFont(Design::archivo(34, Design::Weight::Bold));
    painter.drawText(content, Qt::AlignLeft | Qt::AlignTop, code(m_harnessId));
    painter.setFont(Design::archivo(15, Design::Weight::Bold));
    const QFontMetrics nameMetrics(painter.font());
    painter.drawText(content, Qt::AlignLeft | Qt::AlignBottom,
                     nameMetrics.elidedText(text(), Qt::ElideRight, content.width()));

    if (selected) {
        painter.setPen(Qt::white);
        painter.setFont(Design::archivo(24, Design::Weight::Bold));
        const QRect corner = rect().adjusted(0, 12, -12 - separator, 0);
        painter.drawText(corner, Qt::AlignRight | Qt::AlignTop, QStringLiteral("✓"));
    }
    drawFocusRing(painter, QRectF(rect()).adjusted(5, 5, -5 - separator, -5), ink);
}

} // namespace Wizard
