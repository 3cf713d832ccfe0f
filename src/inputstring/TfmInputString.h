// A general one-line text prompt. The caller sets the caption and the text
// proposed, runs it modally and reads the text back with GetText.
#pragma once

#include <QDialog>

#include <cstddef>
#include <memory>

#include "SkinManager.h"

class MainAccess;

namespace Ui {
class TfmInputString;
}

class TfmInputString : public QDialog {
    Q_OBJECT
public:
    TfmInputString(MainAccess& main, QWidget* owner);
    ~TfmInputString() override;

    // Sets the window caption and the frame caption; a null text is a
    // programming error.
    bool SetCaption(const char* szCaption);
    // Keeps at most 1023 bytes of the text (null reads as empty) and shows it.
    bool SetText(const char* szText);
    // Copies the kept text into buf (at most size - 1 bytes, always
    // terminated). False, copying nothing, for a null buffer or a size of 0.
    // After Cancel this is still the text given to SetText.
    bool GetText(char* buf, std::size_t size) const;

    static constexpr std::size_t kTextSize = 1024;

private:
    void FormCreate();
    void sbtnOKClick();

    std::unique_ptr<Ui::TfmInputString> ui;
    MainAccess& m_main;
    skin::SkinManager skinMain;
    char m_szText[kTextSize] = {};
};
