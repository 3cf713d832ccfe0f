#include "MediaPreview.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

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

    m_video = new QVideoWidget(this);
    m_video->setObjectName(QStringLiteral("vidPreview"));
    // The picture area stays black whatever the skin, as a player's does.
    m_video->setAttribute(Qt::WA_StyledBackground, true);
    m_video->setStyleSheet(QStringLiteral("background: black;"));
    layout->addWidget(m_video, 1);

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

void MediaPreview::SetURL(const QString& path)
{
    EnsurePlayer();
    m_url = path;
    m_player->stop();
    m_player->setSource(path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path));
    if (!path.isEmpty())
        m_player->play();
    UpdateControls();
}

void MediaPreview::Close()
{
    m_url.clear();
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
