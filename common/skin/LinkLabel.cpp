#include "LinkLabel.h"

#include <QMouseEvent>
#include <QStyle>

#include "DesktopShell.h"

namespace skin {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    SetHot(false);
}

void LinkLabel::Open()
{
    // A blank address opens nothing: the desktop would only show an error.
    const QByteArray text = m_address.trimmed().toUtf8();
    if (!text.isEmpty())
        ui::OpenOnDesktop(window(), text.toStdString(), QStringLiteral("the web page"),
                          QStringLiteral("a web browser"));
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Open();
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    QLabel::enterEvent(event);
    SetHot(true);
}

void LinkLabel::leaveEvent(QEvent* event)
{
    QLabel::leaveEvent(event);
    SetHot(false);
}

void LinkLabel::SetHot(bool hot)
{
    // Each skin picks a blue and a red that read well on its own background
    // (selector skin--LinkLabel[hot="true"]); the font carries the underline
    // so that it holds without any skin.
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setProperty("hot", hot);
    style()->unpolish(this);
    style()->polish(this);
    update();
}

} // namespace skin
