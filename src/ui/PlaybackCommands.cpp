#include "PlaybackCommands.h"

#include "Attempt.h"
#include "Dialogs.h"
#include "DvdEngine.h"
#include "Menus.h"
#include "UserNumber.h"

#include <QAction>

#include <stdexcept>

namespace kavelo {
namespace {

struct NotANumber : std::runtime_error {
    NotANumber() : std::runtime_error("not a number") {}
};

} // namespace

PlaybackCommands::PlaybackCommands(PlayerControls controls) : m_c(controls) {}

template <class F> void PlaybackCommands::trap(const char* message, F&& steps) noexcept {
    try {
        steps();
    } catch (...) {
        logging::noteAbsorbed();
        show(message);
    }
}

QWidget* PlaybackCommands::dialogParent() noexcept {
    // In full screen a dialog belongs to the picture's window, so that the window manager
    // raises that with it rather than the main window behind.
    try {
        // Only in full screen does the video stand in a window of its own.
        QWidget* video = m_c.dvdMain ? m_c.dvdMain->widget() : nullptr;
        if (video && video->window() != m_c.window->window() && video->window()->isVisible())
            return video->window();
    } catch (...) {
        logging::noteAbsorbed();
    }
    return m_c.window;
}

void PlaybackCommands::show(const char* message) noexcept {
    if (m_c.dialogs)
        showMessage(*m_c.dialogs, dialogParent(), message);
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
    attempt([&] { m_c.dvdMain->Resume(); });
}

void PlaybackCommands::dSelectChapter() noexcept {
    trap(message::kChapterNotFound, [&] {
        const auto answer = m_c.dialogs->input(dialogParent(), QStringLiteral("Which Chapter?"),
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
    attempt([&] {
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
    attempt([&] { m_c.dvdMain->RestoreBookmark(); });
}

void PlaybackCommands::dFullScreen() noexcept {
    attempt([&] { m_c.window->move(0, m_c.window->y()); });
    attempt([&] { m_c.window->move(m_c.window->x(), 0); });
    attempt([&] { m_c.dvdMain->SetFullScreenMode(true); });
    attempt([&] { m_c.timTimeMenu->start(); });
}

void PlaybackCommands::zoom4x() noexcept {
    attempt([&] { m_c.dvdMain->Zoom(0, 0, 4.0); });
}

void PlaybackCommands::zoomOff() noexcept {
    attempt([&] { m_c.dvdMain->Zoom(0, 0, 0.0); });
}

void PlaybackCommands::fastForwards() noexcept {
    attempt([&] { m_c.dvdMain->PlayForwards(16.0); });
}

void PlaybackCommands::fastBackwards() noexcept {
    attempt([&] { m_c.dvdMain->PlayBackwards(16.0); });
}

void PlaybackCommands::exitFullScreen() noexcept {
    attempt([&] { m_c.dvdMain->SetFullScreenMode(false); });
    attempt([&] { m_c.timTimeMenu->stop(); });
    // Back in the window the video lies at the bottom again, under the logo until play.
    attempt([&] { m_c.dvdMain->widget()->lower(); });
}

} // namespace kavelo
