// Main window: frame, menus, start-up and shut-down, skins, quit, help.
#include "TfmMain.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLayout>
#include <QPushButton>

#include <cstring>
#include <filesystem>

#include "Assert.h"
#include "CxDVDUtil.h"
#include "CxDrive.h"
#include "DataFiles.h"
#include "DesktopShell.h"
#include "DialogService.h"
#include "MRProfileList.h"
#include "PrivateProfile.h"
#include "ProductLinks.h"
#include "TextUtil.h"
#include "TfmAbout.h"
#include "TfmOption.h"
#include "TfmProfile.h"
#include "WinUtil.h"
#include "ui_TfmMain.h"

namespace {

constexpr const char* kSection = "Morvane";
constexpr const char* kSkinKey = "SkinType";
constexpr const char* kWholeTitleKey = "WholeTitle";

} // namespace

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TfmMain>())
{
    // The artwork lives in a static library; nothing else would pull it in.
    Q_INIT_RESOURCE(main);
    ui->setupUi(this);
    // The window keeps the size of its design: a fixed dialog-style frame.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    skinMain.AddComponent(this);
    ui->sURLHome->SetAddress(QString::fromLatin1(product::kHomePage));
    ui->lvFile->header()->setStretchLastSection(false);
    ui->lvFile->setColumnWidth(0, 220);
    ui->lvFile->setColumnWidth(1, 220);
    ConnectHandlers();
    AcceptDrops();
    FormCreate();
}

TfmMain::~TfmMain()
{
    FormDestroy();
}

void TfmMain::InitOption()
{
    m_Option = MakeOption();
    const std::string output = (datafiles::OutputFolder() / "output.wmv").string();
    // A program folder too deep for the field leaves the output to the user
    // rather than naming a cut, different path.
    if (cx::FitsField(output.c_str(), sizeof m_Option.szOutputFile))
        cx::CopyText(m_Option.szOutputFile, output.c_str());
}

void TfmMain::FormCreate()
{
    InitOption();

    m_nSkinType = ui::GetPrivateProfileInt(datafiles::Kept(kSettingsFile), kSection, kSkinKey, 1);
    ApplySkin(&skinMain);
    SetSkinMenuCheck(m_nSkinType);
    ui->chkWholeTitle->setChecked(
        ui::GetPrivateProfileInt(datafiles::Kept(kSettingsFile), kSection, kWholeTitleKey, 1) != 0);

    // A user's own store starts from the package's default profiles until
    // the user saves some, never from a store a run wrote beside the
    // program.
    constexpr const char* kProfileFile = "mrprof.dat";
    if (datafiles::PerUser())
        m_pProfiles = std::make_unique<MRProfileList>(datafiles::Kept(kProfileFile).c_str(),
                                                      datafiles::Shipped(datafiles::kDefaultProfiles).c_str());
    else
        m_pProfiles = std::make_unique<MRProfileList>();
    CX_ASSERT(m_pProfiles);
    m_pProfiles->Load();
    if (const MROption* current = m_pProfiles->GetCurrentProfile())
        CopyOption(&m_Option, current);

    char drives[26] = {};
    std::int32_t count = 0;
    if (!cx::GetCDDrives(drives, &count)) {
        ui::ShowInformation(this, QStringLiteral("No CD/DVD drives found. You may not convert files from DVD or VCD"));
        ui->pcSource->SetPageVisible(ui->stDVD, false);
    } else {
        char vcd[cx::kMaxPath] = {};
        cx::GetVCDFileName(drives[0], vcd, sizeof vcd);
        ui->edtSrcVCD->setText(QString::fromUtf8(vcd));
        ui->rbtnVCD->setEnabled(true);
        ui->pcSource->SetPageVisible(ui->stDVD, true);
        ui->pcSource->setCurrentWidget(ui->stDVD);
    }

    m_pRunList = std::make_unique<CxTypedList<RunItem>>();

    ShowOption();

    m_pDVDChecker = std::make_unique<CxDVDChecker>();
    RefreshDVDList(true);
    if (ui->lbChapters->count() == 0)
        ui->pcSource->setCurrentWidget(ui->stFile);
}

void TfmMain::FormDestroy()
{
    if (m_pRunList) {
        ClearRunList();
        m_pRunList.reset();
    }
    m_pProfiles.reset();
    m_pDVDChecker.reset();
    ui->wmpMain->Close();
    const std::filesystem::path settings = datafiles::Kept(kSettingsFile);
    datafiles::MakeFolderFor(settings);
    ui::WritePrivateProfileString(settings, kSection, kSkinKey, std::to_string(m_nSkinType));
    ui::WritePrivateProfileString(settings, kSection, kWholeTitleKey, ui->chkWholeTitle->isChecked() ? "1" : "0");
}

void TfmMain::ApplySkin(skin::SkinManager* skin)
{
    CX_ASSERT(skin);
    switch (m_nSkinType) {
    case skin::DeepBlue:
    case skin::MacOS:
    case skin::WindowsXP:
    case skin::Protein:
        skin->SetStyle(m_nSkinType);
        break;
    default:
        skin->SetStyle(skin::BlueGlass);
        break;
    }
}

void TfmMain::SetSkinMenuCheck(int skin)
{
    QAction* items[] = {ui->miSkinBlueGlass, ui->miSkinDeepBlue, ui->miSkinMacOS, ui->miSkinWinXP, ui->miSkinProtein};
    // A stored number outside the five checks none of them.
    for (int i = 0; i < skin::kSkinCount; ++i)
        items[i]->setChecked(i + 1 == skin);
}

void TfmMain::SkinItemClick(int skin)
{
    if (m_nSkinType != skin) {
        m_nSkinType = skin;
        ApplySkin(&skinMain);
    }
    SetSkinMenuCheck(skin);
}

void TfmMain::QuitClick()
{
    if (ui::Confirm(this, QStringLiteral("Are you sure to quit Morvane Converter Professional?")))
        close();
}

void TfmMain::OpenHelp()
{
    // Most Linux desktops have no CHM viewer; the HTML guide opens in the
    // browser instead.
    if (!cx::ShellOpenChecked(datafiles::Shipped(kHelpFile).c_str()))
        ui::OpenOnDesktop(this, datafiles::Shipped(kHelpGuide).string(), QStringLiteral("the help"),
                          QStringLiteral("a web browser"));
}

void TfmMain::OpenHomePage()
{
    ui::OpenOnDesktop(this, product::kHomePage, QStringLiteral("the web page"), QStringLiteral("a web browser"));
}

void TfmMain::ConnectHandlers()
{
    // The skin items form one radio group; the check marks are set by
    // SetSkinMenuCheck so that a stored number outside 1..5 checks none.
    QAction* items[] = {ui->miSkinBlueGlass, ui->miSkinDeepBlue, ui->miSkinMacOS, ui->miSkinWinXP, ui->miSkinProtein};
    for (int i = 0; i < skin::kSkinCount; ++i)
        connect(items[i], &QAction::triggered, this, [this, i] { SkinItemClick(i + 1); });

    connect(ui->miFileOne, &QAction::triggered, this, &TfmMain::miFileOneClick);
    connect(ui->miFileBatch, &QAction::triggered, this, &TfmMain::miFileBatchClick);
    connect(ui->miFileProf, &QAction::triggered, this, &TfmMain::miFileProfClick);
    connect(ui->miFileExit, &QAction::triggered, this, &TfmMain::QuitClick);
    connect(ui->miToolsOption, &QAction::triggered, this, &TfmMain::miToolsOptionClick);
    connect(ui->miHelpContent, &QAction::triggered, this, &TfmMain::OpenHelp);
    connect(ui->miHelpWeb, &QAction::triggered, this, &TfmMain::OpenHomePage);
    connect(ui->miHelpAbout, &QAction::triggered, this, &TfmMain::miHelpAboutClick);

    connect(ui->sbtnHelp, &QPushButton::clicked, this, &TfmMain::OpenHelp);
    connect(ui->sbtnClose, &QPushButton::clicked, this, &TfmMain::QuitClick);
    connect(ui->sbtnQuit, &QPushButton::clicked, this, &TfmMain::QuitClick);
    connect(ui->sbtnBatchQuit, &QPushButton::clicked, this, &TfmMain::QuitClick);

    // "Convert One File" page.
    connect(ui->sbtnDVDRefresh, &QPushButton::clicked, this, &TfmMain::sbtnDVDRefreshClick);
    connect(ui->lbChapters, &QListWidget::itemClicked, this, &TfmMain::lbChaptersClick);
    connect(ui->chkWholeTitle, &QCheckBox::clicked, this, [this] {
        lbChaptersClick(nullptr);
        ShowDVDAudio();
    });
    connect(ui->edtSrcFile, &QLineEdit::textChanged, this, &TfmMain::ShowFileAudio);
    connect(ui->lbChapters, &QListWidget::itemChanged, this, &TfmMain::lbChaptersChanged);
    connect(ui->rbtnFile, &QRadioButton::clicked, this, &TfmMain::rbtnFileClick);
    connect(ui->rbtnVCD, &QRadioButton::clicked, this, &TfmMain::rbtnVCDClick);
    connect(ui->sbtnFileBrowse, &QPushButton::clicked, this, &TfmMain::sbtnFileBrowseClick);
    connect(ui->sbtnBrowse, &QPushButton::clicked, this, &TfmMain::sbtnBrowseClick);
    for (QRadioButton* r : {ui->rbtnResStd, ui->rbtnResWide, ui->rbtnResVGA, ui->rbtnResCustom})
        connect(r, &QRadioButton::clicked, this, &TfmMain::UpdateCustomSize);
    connect(ui->schkSize, &QCheckBox::clicked, this, &TfmMain::schkSizeClick);
    connect(ui->sbtnOption, &QPushButton::clicked, this, &TfmMain::miToolsOptionClick);
    connect(ui->sbtnConvert, &QPushButton::clicked, this, &TfmMain::sbtnConvertClick);

    // "Batch Convert" page.
    connect(ui->sbtnAddFile, &QPushButton::clicked, this, &TfmMain::sbtnAddFileClick);
    connect(ui->sbtnDelFile, &QPushButton::clicked, this, &TfmMain::sbtnDelFileClick);
    connect(ui->sbtnDetect, &QPushButton::clicked, this, &TfmMain::sbtnDetectClick);
    connect(ui->sbtnBatchConvert, &QPushButton::clicked, this, &TfmMain::sbtnBatchConvertClick);
}

void TfmMain::miFileOneClick()
{
    ui->spMain->setCurrentWidget(ui->stOne);
}

void TfmMain::miFileBatchClick()
{
    ui->spMain->setCurrentWidget(ui->stMore);
}

void TfmMain::miFileProfClick()
{
    TfmProfile dialog(*this, this);
    // What the user sees is what "Save Current Options" saves.
    UpdateOption(true, true);
    dialog.exec();
}

void TfmMain::miToolsOptionClick()
{
    TfmOption dialog(*this, this);
    // The batch page offers the quality and margins too; it must show the
    // new choice, or its "Convert Now!" would put the old one back. The rest
    // of both pages keeps what the user has typed there.
    if (dialog.exec() == QDialog::Accepted)
        ShowBatchQualityAndMargins();
}

void TfmMain::miHelpAboutClick()
{
    TfmAbout dialog(*this, this);
    dialog.exec();
}
