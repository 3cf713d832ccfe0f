// The preview player of the "Convert One File" page: a video picture with a
// small controls bar. Setting a URL starts playing it; a file that cannot be
// played shows nothing and raises no message. Close releases the file.
#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QPushButton;
class QSlider;
class QVideoWidget;

class MediaPreview : public QWidget {
    Q_OBJECT
public:
    explicit MediaPreview(QWidget* parent = nullptr);
    ~MediaPreview() override;

    // Opens the media at path and plays it.
    void SetURL(const QString& path);
    // The path last set; empty after Close.
    QString URL() const { return m_url; }
    // Stops and releases the current media, so the file is no longer held.
    void Close();

    // Whether a player exists (it is made on the first SetURL).
    bool HasPlayer() const { return m_player != nullptr; }
    QMediaPlayer* Player() const { return m_player; }
    bool HasAudio() const { return m_audio != nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnsurePlayer();
    void UpdateControls();
    // The picture in the black screen area at the source's display shape.
    void PlacePicture();

    QWidget* m_screen = nullptr;
    QVideoWidget* m_video = nullptr;
    // Display width over height of the current media; 0 while not known.
    double m_aspect = 0;
    QPushButton* m_play = nullptr;
    QSlider* m_position = nullptr;
    QLabel* m_time = nullptr;
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_audio = nullptr;
    QString m_url;
};
