// Main window: files dragged from the desktop onto the "Video File" page
// become the source; files and folders dragged onto the batch list become
// rows with an output beside each source.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <set>
#include <vector>

#include "DropFiles.h"
#include "TfmMain.h"
#include "ui_TfmMain.h"

namespace {

QList<QUrl> LocalFiles(const QMimeData* mime)
{
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            files.push_back(url);
    }
    return files;
}

std::string Key(const std::filesystem::path& p)
{
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(p, ec);
    return (ec ? p : abs).lexically_normal().string();
}

} // namespace

void TfmMain::AcceptDrops()
{
    ui->stFile->setAcceptDrops(true);
    ui->stFile->installEventFilter(this);
    // The edits would otherwise take a dropped file as text.
    ui->edtSrcFile->installEventFilter(this);
    ui->edtSrcVCD->installEventFilter(this);
    ui->lvFile->setAcceptDrops(true);
    ui->lvFile->viewport()->setAcceptDrops(true);
    ui->lvFile->viewport()->installEventFilter(this);
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event)
{
    const bool filePage = watched == ui->stFile || watched == ui->edtSrcFile || watched == ui->edtSrcVCD;
    const bool batchList = watched == ui->lvFile->viewport();
    if (!filePage && !batchList)
        return QMainWindow::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (LocalFiles(drag->mimeData()).isEmpty())
            return QMainWindow::eventFilter(watched, event);
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> files = LocalFiles(drop->mimeData());
        if (files.isEmpty())
            return QMainWindow::eventFilter(watched, event);
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (filePage)
            DropOnFilePage(files);
        else
            DropOnBatchList(files);
        return true;
    }
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

void TfmMain::DropOnFilePage(const QList<QUrl>& urls)
{
    // The first file, as if chosen with "Browse" (which the file choice owns).
    const QString path = urls.first().toLocalFile();
    if (!PathFits(path, QStringLiteral("source file")))
        return;
    ui->rbtnFile->setChecked(true);
    rbtnFileClick();
    ui->edtSrcFile->setText(path);
    ui->wmpMain->SetURL(path);
}

void TfmMain::DropOnBatchList(const QList<QUrl>& urls)
{
    std::vector<std::filesystem::path> dropped;
    for (const QUrl& url : urls)
        dropped.emplace_back(url.toLocalFile().toStdString());

    // No new output may name a row's source or another row's output.
    std::set<std::string> taken;
    for (int i = 0; i < ui->lvFile->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ui->lvFile->topLevelItem(i);
        taken.insert(Key(row->text(0).toStdString()));
        taken.insert(Key(row->text(1).toStdString()));
    }
    const std::vector<std::filesystem::path> sources = dropfiles::CollectVideoFiles(dropped);
    for (const auto& source : sources)
        taken.insert(Key(source));

    for (const auto& source : sources) {
        const std::filesystem::path abs = Key(source);
        taken.erase(abs.string());
        const std::filesystem::path output = dropfiles::OutputBeside(abs, taken);
        taken.insert(abs.string());
        const QString src = QString::fromStdString(abs.string());
        const QString out = QString::fromStdString(output.string());
        if (!PathFits(src, QStringLiteral("source file")) || !PathFits(out, QStringLiteral("output file")))
            continue;
        taken.insert(output.string());
        auto* row = new QTreeWidgetItem(ui->lvFile);
        row->setText(0, src);
        row->setText(1, out);
    }
}
