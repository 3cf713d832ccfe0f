#include "PageControl.h"

namespace skin {

PageControl::PageControl(QWidget* parent) : QTabWidget(parent)
{
    connect(this, &QTabWidget::currentChanged, this, [this] { EnableActivePage(); });
}

void PageControl::SetPageVisible(QWidget* page, bool visible)
{
    const int index = indexOf(page);
    if (index < 0)
        return;
    setTabVisible(index, visible);
    if (!visible && currentIndex() == index) {
        for (int i = 0; i < count(); ++i) {
            if (isTabVisible(i)) {
                setCurrentIndex(i);
                break;
            }
        }
    }
    EnableActivePage();
}

bool PageControl::IsPageVisible(QWidget* page) const
{
    const int index = indexOf(page);
    return index >= 0 && isTabVisible(index);
}

void PageControl::tabInserted(int index)
{
    QTabWidget::tabInserted(index);
    EnableActivePage();
}

void PageControl::tabRemoved(int index)
{
    QTabWidget::tabRemoved(index);
    EnableActivePage();
}

void PageControl::EnableActivePage()
{
    const int active = currentIndex();
    for (int i = 0; i < count(); ++i) {
        if (QWidget* page = widget(i))
            page->setEnabled(i == active);
    }
}

} // namespace skin
