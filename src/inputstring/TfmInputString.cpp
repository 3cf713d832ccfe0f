#include "TfmInputString.h"

#include <QGuiApplication>
#include <QScreen>

#include "Assert.h"
#include "TextUtil.h"
#include "main/MainAccess.h"
#include "ui_TfmInputString.h"

TfmInputString::TfmInputString(MainAccess& main, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmInputString>()), m_main(main)
{
    ui->setupUi(this);
    connect(ui->sbtnOK, &QPushButton::clicked, this, &TfmInputString::sbtnOKClick);
    connect(ui->sbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

TfmInputString::~TfmInputString() = default;

void TfmInputString::FormCreate()
{
    // Opens in the middle of the desktop rather than over its owner.
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    skinMain.AddComponent(this);
    m_main.ApplySkin(&skinMain);
}

bool TfmInputString::SetCaption(const char* szCaption)
{
    CX_ASSERT(szCaption);
    const QString caption = QString::fromUtf8(szCaption);
    setWindowTitle(caption);
    ui->sfInputString->setWindowTitle(caption);
    return true;
}

bool TfmInputString::SetText(const char* szText)
{
    cx::CopyText(m_szText, szText);
    ui->edtString->setText(QString::fromUtf8(m_szText));
    return true;
}

bool TfmInputString::GetText(char* buf, std::size_t size) const
{
    if (!buf || size == 0)
        return false;
    cx::CopyText(buf, size, m_szText);
    return true;
}

void TfmInputString::sbtnOKClick()
{
    cx::CopyText(m_szText, ui->edtString->text().toUtf8().constData());
    accept();
}
