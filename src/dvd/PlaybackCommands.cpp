#include "PlaybackCommands.h"

#include "Dialogs.h"
#include "DvdEngine.h"
#include "Menus.h"
#include "UserNumber.h"

#include <QAction>

#include <stdexcept>

namespace kavelo {
namespace {

// Every step is attempted; failures are dropped.
template <class F> void ignore(F&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

struct NotANumber : std::runtime_error {
    NotANumber() : std::runtime_error("not a number") {}
};

} // namespace

PlaybackCommands::PlaybackCommands(PlayerControls controls) : m_c(controls) {}

template <class F> void PlaybackCommands::trap(const char* message, F&& steps) noexcept {
    try {
        steps();
    } catch (...) {
        show(message);
    }
}

void PlaybackCommands::show(const char* message) noexcept {
    try {
        if (m_c.dialogs)
            m_c.dialogs->message(m_c.window, QString::fromLatin1(message));
    } catch (...) {
    }
}

void PlaybackCommands::dPlay() noexcept {
    trap(message::kInsertDvd, [&] {
        m_c.picLogo->hide();
        m_c.dvdMain->Play();
        m_c.sliMain->setEnabled(true);
        m_c.timTime->start();
    });
}

void PlaybackCommands::dStop() noexcept {
    trap(message::kInsertDvd, [&] {
        m_c.dvdMain->Stop();
        m_c.sliMain->setEnabled(false);
        m_c.timTime->stop();
    });
}

void PlaybackCommands::dPause() noexcept {
    trap(message::kInsertDvd, [&] { m_c.dvdMain->Pause(); });
}

void PlaybackCommands::dResume() noexcept {
    ignore([&] { m_c.dvdMain->Resume(); });
}

void PlaybackCommands::dSelectChapter() noexcept {
    trap(message::kChapterNotFound, [&] {
        const auto answer = m_c.dialogs->input(m_c.window, QStringLiteral("Which Chapter?"),
                                               QStringLiteral("Chapter Select"));
        const auto chapter = userNumber16(answer.value_or(QString()));
        if (!chapter)
            throw NotANumber();
        m_c.dvdMain->PlayChapter(static_cast<std::int32_t>(*chapter));
    });
}

void PlaybackCommands::dPreviousChapter() noexcept {
    trap(message::kInsertDvd, [&] { m_c.dvdMain->PlayPrevChapter(); });
}

void PlaybackCommands::dNextChapter() noexcept {
    trap(message::kInsertDvd, [&] { m_c.dvdMain->PlayNextChapter(); });
}

void PlaybackCommands::dMuteOnOff() noexcept {
    // The caption changes only once the engine has taken the new state; a refusal leaves both.
    ignore([&] {
        const QString caption = m_c.mnuPopMuteOn->text();
        if (caption == QLatin1String(menu::kMuteOff)) {
            m_c.dvdMain->SetMute(true);
            m_c.mnuPopMuteOn->setText(QString::fromLatin1(menu::kMuteOn));
        } else if (caption == QLatin1String(menu::kMuteOn)) {
            m_c.dvdMain->SetMute(false);
            m_c.mnuPopMuteOn->setText(QString::fromLatin1(menu::kMuteOff));
        }
    });
}

void PlaybackCommands::dSaveBookmark() noexcept {
    trap(message::kPleaseWait, [&] {
        m_c.dvdMain->DeleteBookmark();
        m_c.dvdMain->SaveBookmark();
    });
}

void PlaybackCommands::dRestoreBookmark() noexcept {
    ignore([&] { m_c.dvdMain->RestoreBookmark(); });
}

void PlaybackCommands::dFullScreen() noexcept {
    ignore([&] { m_c.window->move(0, m_c.window->y()); });
    ignore([&] { m_c.window->move(m_c.window->x(), 0); });
    ignore([&] { m_c.dvdMain->SetFullScreenMode(true); });
    ignore([&] { m_c.timTimeMenu->start(); });
}

void PlaybackCommands::zoom4x() noexcept {
    ignore([&] { m_c.dvdMain->Zoom(0, 0, 4.0); });
}

void PlaybackCommands::zoomOff() noexcept {
    ignore([&] { m_c.dvdMain->Zoom(0, 0, 0.0); });
}

void PlaybackCommands::fastForwards() noexcept {
    ignore([&] { m_c.dvdMain->PlayForwards(16.0); });
}

void PlaybackCommands::fastBackwards() noexcept {
    ignore([&] { m_c.dvdMain->PlayBackwards(16.0); });
}

void PlaybackCommands::exitFullScreen() noexcept {
    ignore([&] { m_c.dvdMain->SetFullScreenMode(false); });
    ignore([&] { m_c.timTimeMenu->stop(); });
}

} // namespace kavelo
