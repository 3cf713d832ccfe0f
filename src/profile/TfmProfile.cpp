#include "TfmProfile.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTreeWidgetItem>

#include "Assert.h"
#include "DialogService.h"
#include "MROption.h"
#include "MRProfileList.h"
#include "TextUtil.h"
#include "TfmInputString.h"
#include "main/MainAccess.h"
#include "ui_TfmProfile.h"

namespace {

// A row carries the store's record; the store keeps owning it.
constexpr int kRecordRole = Qt::UserRole;

MROption* RecordOf(const QTreeWidgetItem* row)
{
    return static_cast<MROption*>(row->data(0, kRecordRole).value<void*>());
}

} // namespace

TfmProfile::TfmProfile(MainAccess& main, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmProfile>()), m_main(main)
{
    ui->setupUi(this);
    ui->slvProfile->setColumnWidth(0, 40);
    ui->slvProfile->setColumnWidth(1, 280);
    connect(ui->slvProfile, &QTreeWidget::itemSelectionChanged, this, &TfmProfile::slvProfileChange);
    connect(ui->sbtnLoad, &QPushButton::clicked, this, &TfmProfile::sbtnLoadClick);
    connect(ui->sbtnSave, &QPushButton::clicked, this, &TfmProfile::sbtnSaveClick);
    connect(ui->sbtnClose, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

TfmProfile::~TfmProfile() = default;

void TfmProfile::FormCreate()
{
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    m_pProfiles = m_main.GetProfiles();
    FillList();
    // Nothing is selected yet, so there is nothing to load.
    slvProfileChange();
    skinMain.AddComponent(this);
    m_main.ApplySkin(&skinMain);
}

bool TfmProfile::FillList()
{
    if (!m_pProfiles)
        return false;
    ui->slvProfile->clear();
    int n = 1;
    for (MROption* p = m_pProfiles->GetFirstProfile(); p; p = m_pProfiles->GetNextProfile(), ++n) {
        auto* row = new QTreeWidgetItem(ui->slvProfile);
        row->setText(0, QString::number(n));
        row->setText(1, QString::fromUtf8(p->szName, qstrnlen(p->szName, sizeof p->szName)));
        row->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(p)));
    }
    return true;
}

void TfmProfile::slvProfileChange()
{
    ui->sbtnLoad->setEnabled(!ui->slvProfile->selectedItems().isEmpty());
}

void TfmProfile::sbtnLoadClick()
{
    const QList<QTreeWidgetItem*> selected = ui->slvProfile->selectedItems();
    if (selected.isEmpty())
        return;
    MROption* pOption = m_main.GetOption();
    CX_ASSERT(pOption);
    // The whole record, name and output included; the quality level is not
    // part of it and stays as it is.
    CopyOption(pOption, RecordOf(selected.first()));
    ui::ShowInformation(this, QStringLiteral("Conversion profile loaded successfully."));
    m_main.UpdateOption(false, true);
    accept();
}

void TfmProfile::sbtnSaveClick()
{
    MROption* pOption = m_main.GetOption();
    if (!m_pProfiles || !pOption)
        return;

    TfmInputString prompt(m_main, this);
    prompt.SetCaption("Choose a name for the profile");
    // The proposal is the next number even if a profile already has that
    // name; saving under it then asks before replacing that profile.
    prompt.SetText(QStringLiteral("Profile %1").arg(m_pProfiles->GetProfileCount() + 1).toUtf8().constData());
    if (prompt.exec() != QDialog::Accepted)
        return;

    char szName[sizeof pOption->szName] = {};
    prompt.GetText(szName, sizeof szName);
    if (MROption* pTaken = m_pProfiles->FindProfileByName(szName)) {
        // The name is listed already: replacing that profile is the user's
        // call; declining leaves everything as it was.
        if (!ui::Confirm(this, QStringLiteral("A profile named \"%1\" already exists. Do you want to replace it "
                                              "with the current settings?")
                                   .arg(QString::fromUtf8(szName))))
            return;
        cx::CopyText(pOption->szName, szName);
        CopyOption(pTaken, pOption);
        m_pProfiles->SetCurrentIndex(m_pProfiles->IndexOf(pTaken));
        m_pProfiles->SetCurrentProfile(pTaken);
    } else {
        cx::CopyText(pOption->szName, szName);
        auto pNew = std::make_unique<MROption>();
        CopyOption(pNew.get(), pOption);
        if (m_pProfiles->AddProfile(pNew.get())) {
            // The newest profile is the one the next start applies.
            MROption* pAdded = pNew.release();
            m_pProfiles->SetCurrentIndex(static_cast<std::int32_t>(m_pProfiles->GetProfileCount()) - 1);
            m_pProfiles->SetCurrentProfile(pAdded);
        }
    }
    FillList();
    if (!m_pProfiles->Save()) {
        // The list keeps what was added; only the file is behind, so say so
        // rather than let the profile vanish at the next start unexplained.
        ui::ShowErrorBox(this, QStringLiteral("The profiles could not be saved to the file \"%1\". Profiles saved "
                                              "now stay in the list until the program is closed, but they will be "
                                              "missing at the next start.")
                                   .arg(QString::fromUtf8(m_pProfiles->GetFileName())));
    }
}
