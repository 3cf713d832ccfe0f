// Link label of the skinned control set: blue and underlined, red while the
// pointer is over it; a click hands its address to shell open.
#pragma once

#include <QLabel>
#include <QString>

namespace skin {

class LinkLabel : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString address READ Address WRITE SetAddress)
public:
    explicit LinkLabel(QWidget* parent = nullptr);

    QString Address() const { return m_address; }
    void SetAddress(const QString& address) { m_address = address; }
    // What a click does; tests call it through a synthesised mouse click.
    void Open();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetHot(bool hot);

    QString m_address;
};

} // namespace skin
