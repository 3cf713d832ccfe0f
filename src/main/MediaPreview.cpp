#include "MediaPreview.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "Engine.h"

namespace {

QString Clock(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

MediaPreview::MediaPreview(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    // The screen area stays black whatever the skin, as a player's does.
    m_screen = new QWidget(this);
    m_screen->setObjectName(QStringLiteral("scrPreview"));
    m_screen->setAttribute(Qt::WA_StyledBackground, true);
    m_screen->setStyleSheet(QStringLiteral("background: black;"));
    m_screen->installEventFilter(this);
    layout->addWidget(m_screen, 1);
    m_video = new QVideoWidget(m_screen);
    m_video->setObjectName(QStringLiteral("vidPreview"));
    m_video->setAttribute(Qt::WA_StyledBackground, true);
    m_video->setStyleSheet(QStringLiteral("background: black;"));

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(2, 0, 2, 2);
    m_play = new QPushButton(QStringLiteral("Play"), this);
    m_play->setObjectName(QStringLiteral("btnPreviewPlay"));
    m_play->setFixedWidth(56);
    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setObjectName(QStringLiteral("sldPreviewPosition"));
    m_time = new QLabel(QStringLiteral("0:00"), this);
    m_time->setMinimumWidth(40);
    bar->addWidget(m_play);
    bar->addWidget(m_position, 1);
    bar->addWidget(m_time);
    layout->addLayout(bar);

    connect(m_play, &QPushButton::clicked, this, [this] {
        if (!m_player || m_url.isEmpty())
            return;
        if (m_player->playbackState() == QMediaPlayer::PlayingState)
            m_player->pause();
        else
            m_player->play();
    });
    connect(m_position, &QSlider::sliderMoved, this, [this](int pos) {
        if (m_player)
            m_player->setPosition(pos);
    });
    UpdateControls();
}

MediaPreview::~MediaPreview()
{
    Close();
}

void MediaPreview::EnsurePlayer()
{
    if (m_player)
        return;
    m_player = new QMediaPlayer(this);
    m_player->setVideoOutput(m_video);
    // Some back ends fail badly when they write to a device that is not
    // there, so sound goes out only where the machine has an output.
    if (!QMediaDevices::audioOutputs().isEmpty()) {
        m_audio = new QAudioOutput(this);
        m_audio->setVolume(0.5f);
        m_player->setAudioOutput(m_audio);
    }
    connect(m_player, &QMediaPlayer::durationChanged, this,
            [this](qint64 d) { m_position->setRange(0, static_cast<int>(qMin<qint64>(d, INT_MAX))); });
    connect(m_player, &QMediaPlayer::positionChanged, this, [this](qint64 p) {
        if (!m_position->isSliderDown())
            m_position->setValue(static_cast<int>(qMin<qint64>(p, INT_MAX)));
        m_time->setText(Clock(p));
    });
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, [this] { UpdateControls(); });
    // Media that cannot be played leave the picture empty; the user is not
    // interrupted, the conversion may still read what the player cannot.
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
        if (m_player)
            m_player->stop();
        UpdateControls();
    });
}

bool MediaPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_screen && event->type() == QEvent::Resize)
        PlacePicture();
    return QWidget::eventFilter(watched, event);
}

void MediaPreview::PlacePicture()
{
    const QRect area = m_screen->rect();
    if (m_aspect <= 0 || area.isEmpty()) {
        m_video->setAspectRatioMode(Qt::KeepAspectRatio);
        m_video->setGeometry(area);
        return;
    }
    // The player draws pixels square; a title of non-square pixels (a 16:9
    // DVD) would look squeezed. The picture gets the display shape here and
    // is stretched into it.
    QSize size(area.width(), qRound(area.width() / m_aspect));
    if (size.height() > area.height())
        size = QSize(qRound(area.height() * m_aspect), area.height());
    m_video->setAspectRatioMode(Qt::IgnoreAspectRatio);
    m_video->setGeometry(QRect(QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2), size));
}

void MediaPreview::SetURL(const QString& path)
{
    EnsurePlayer();
    m_url = path;
    m_aspect = 0;
    std::int32_t w = 0, h = 0;
    mce::IEngineFactory* engine = mce::InstalledFactory();
    if (engine && !path.isEmpty() &&
        mce::Succeeded(engine->GetDisplaySize(QFile::encodeName(path).constData(), &w, &h)) && w > 0 && h > 0)
        m_aspect = static_cast<double>(w) / h;
    PlacePicture();
    m_player->stop();
    m_player->setSource(path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path));
    if (!path.isEmpty())
        m_player->play();
    UpdateControls();
}

void MediaPreview::Close()
{
    m_url.clear();
    m_aspect = 0;
    PlacePicture();
    if (m_player) {
        m_player->stop();
        m_player->setSource(QUrl());
    }
    if (m_position) {
        m_position->setValue(0);
        m_time->setText(Clock(0));
    }
    UpdateControls();
}

void MediaPreview::UpdateControls()
{
    if (!m_play)
        return;
    const bool playing = m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
    m_play->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    m_play->setEnabled(!m_url.isEmpty());
    m_position->setEnabled(!m_url.isEmpty());
}
