#include "TfmAbout.h"

#include <QGuiApplication>
#include <QScreen>

#include "main/MainAccess.h"
#include "main/ProductLinks.h"
#include "ui_TfmAbout.h"

TfmAbout::TfmAbout(MainAccess& main, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmAbout>()), m_main(main)
{
    // The artwork lives in a static library; nothing else would pull it in.
    Q_INIT_RESOURCE(main);
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui->suiURLLabel1->SetAddress(QString::fromLatin1(product::kWelcomePage));
    connect(ui->sbtnOK, &QPushButton::clicked, this, &TfmAbout::sbtnOKClick);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TfmAbout::~TfmAbout() = default;

void TfmAbout::FormCreate()
{
    skinMain.AddComponent(this);
    m_main.ApplySkin(&skinMain);
}

void TfmAbout::sbtnOKClick()
{
    accept();
}
