// Page control of the skinned control set: only the active page is enabled.
// Pages are laid out disabled and become usable when they are shown, so a
// control on a hidden page never takes focus or shortcuts.
#pragma once

#include <QTabWidget>

namespace skin {

class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

    // Shows or hides a page's tab; a hidden active page hands over to the
    // first visible one.
    void SetPageVisible(QWidget* page, bool visible);
    bool IsPageVisible(QWidget* page) const;

protected:
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    void EnableActivePage();
};

} // namespace skin
