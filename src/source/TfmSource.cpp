#include "TfmSource.h"

#include <QGuiApplication>
#include <QScreen>

#include <filesystem>
#include <system_error>

#include "DialogService.h"
#include "MROption.h"
#include "PathUtil.h"
#include "TextUtil.h"
#include "main/MainAccess.h"
#include "main/OutputNames.h"
#include "main/SourceFilters.h"
#include "ui_TfmSource.h"

namespace {

// Paths are kept in fixed fields; a longer path is refused, never cut, since
// a cut path names another file.
constexpr std::size_t kPathField = sizeof(RunItem::szSource);
static_assert(sizeof(RunItem::szOutput) == kPathField);

QString FromField(const char* field, std::size_t size)
{
    return QString::fromUtf8(field, qstrnlen(field, size));
}

bool Exists(const QByteArray& utf8)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(utf8.toStdString()), ec);
}

} // namespace

TfmSource::TfmSource(MainAccess& main, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmSource>()), m_main(main)
{
    ui->setupUi(this);
    connect(ui->btnOK, &QPushButton::clicked, this, &TfmSource::btnOKClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnBrowseSource, &QPushButton::clicked, this, &TfmSource::btnBrowseSourceClick);
    connect(ui->btnBrowseOutput, &QPushButton::clicked, this, &TfmSource::btnBrowseOutputClick);
    FormCreate();
}

TfmSource::~TfmSource() = default;

void TfmSource::FormCreate()
{
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    skinMain.AddComponent(this);
    m_main.ApplySkin(&skinMain);
}

void TfmSource::SetRunItem(RunItem* pRunItem)
{
    m_pRunItem = pRunItem;
}

bool TfmSource::PathFits(const QByteArray& path, const char* what)
{
    if (cx::FitsField(path.constData(), kPathField))
        return true;
    ui::ShowErrorBox(this, QStringLiteral("The %1 path is too long: it takes %2 bytes, and at most %3 can be used. "
                                          "Please choose a file with a shorter path.")
                               .arg(QString::fromLatin1(what))
                               .arg(path.size())
                               .arg(kPathField - 1));
    return false;
}

bool TfmSource::UpdateData(bool bSave)
{
    if (!m_pRunItem)
        return false;
    if (!bSave) {
        ui->edtSource->setText(FromField(m_pRunItem->szSource, sizeof m_pRunItem->szSource));
        ui->edtOutput->setText(FromField(m_pRunItem->szOutput, sizeof m_pRunItem->szOutput));
        return true;
    }
    const QByteArray source = ui->edtSource->text().toUtf8();
    // Absolute from here on: the engine writes where the windows show it.
    const QByteArray output =
        QByteArray::fromStdString(outputnames::WithWmvExtension(cx::AbsolutePath(ui->edtOutput->text().toStdString())));
    if (source.isEmpty() || !Exists(source)) {
        ui::ShowErrorBox(this, QStringLiteral("Invalid source video file name."));
        return false;
    }
    if (!PathFits(source, "source file"))
        return false;
    if (output.isEmpty()) {
        ui::ShowErrorBox(this, QStringLiteral("Invalid output video file name"));
        return false;
    }
    if (!PathFits(output, "output file"))
        return false;
    cx::CopyText(m_pRunItem->szSource, source.constData());
    cx::CopyText(m_pRunItem->szOutput, output.constData());
    return true;
}

void TfmSource::btnOKClick()
{
    if (UpdateData(true))
        accept();
}

void TfmSource::btnBrowseSourceClick()
{
    ui::FileDialogRequest r;
    r.owner = this;
    r.title = QStringLiteral("Open Source Video File");
    r.initialName = ui->edtSource->text();
    r.filters = product::SourceVideoFilters();
    r.mustExist = true;
    const QString path = ui::Dialogs().OpenFile(r);
    if (!path.isEmpty() && PathFits(path.toUtf8(), "source file")) {
        ui->edtSource->setText(path);
        OutputFollows(path);
    }
}

void TfmSource::OutputFollows(const QString& source)
{
    const QString current = ui->edtOutput->text();
    if (!current.isEmpty() && current != m_sFollowedOutput)
        return;
    // Beside the output already named here, else where the main window's
    // output goes, else beside the source.
    const std::filesystem::path sourcePath(cx::AbsolutePath(source.toStdString()));
    const MROption* pOption = m_main.GetOption();
    std::filesystem::path folder = sourcePath.parent_path();
    if (!current.isEmpty())
        folder = std::filesystem::path(cx::AbsolutePath(current.toStdString())).parent_path();
    else if (pOption && pOption->szOutputFile[0])
        folder = std::filesystem::path(cx::AbsolutePath(pOption->szOutputFile)).parent_path();
    const std::string output = outputnames::OutputIn(folder, sourcePath).string();
    if (!cx::FitsField(output.c_str(), kPathField))
        return; // the user names a shorter one; a cut name would be another file
    m_sFollowedOutput = QString::fromStdString(output);
    ui->edtOutput->setText(m_sFollowedOutput);
}

void TfmSource::btnBrowseOutputClick()
{
    ui::FileDialogRequest r;
    r.owner = this;
    r.title = QStringLiteral("Choose Output File Name");
    r.initialName = ui->edtOutput->text();
    r.filters = {QStringLiteral("Windows Media Video File(*.wmv) (*.wmv *.WMV)")};
    const QString path = QString::fromStdString(
        outputnames::WithWmvExtension(cx::AbsolutePath(ui::Dialogs().SaveFile(r).toStdString())));
    if (!path.isEmpty() && PathFits(path.toUtf8(), "output file"))
        ui->edtOutput->setText(path);
}
