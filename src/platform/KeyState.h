#pragma once

#include <QObject>
#include <QWidget>

#include <array>
#include <functional>

namespace kavelo {

// Stand-in for an asynchronous key-state query: a key or mouse button counts when it is down
// now or has been pressed since the previous query of that key. Fed by an application-wide
// event filter, so only presses within Kavelo's own windows (the video included) count.
// Each window that samples keys owns its own latch.
class KeyStateLatch : public QObject {
    Q_OBJECT
public:
    static constexpr int VK_RBUTTON = 2;
    static constexpr int VK_SPACE = 32;

    explicit KeyStateLatch(QObject* parent = nullptr);
    ~KeyStateLatch() override;

    // Non-zero-ness of the platform call: true when down now or pressed since the last query.
    bool query(int virtualKey);

    // Limits what counts to presses on widgets for which `inScope` says true (by default every
    // widget of the application).
    void setScope(std::function<bool(const QWidget*)> inScope) { m_inScope = std::move(inScope); }

    // For tests and for sources the event filter cannot see.
    void press(int virtualKey);
    void release(int virtualKey);
    // Forgets the key's state, as though it had never been pressed.
    void discard(int virtualKey);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Key {
        bool down = false;
        bool pressedSinceQuery = false;
    };
    std::array<Key, 256> m_keys{};
    std::function<bool(const QWidget*)> m_inScope;
};

} // namespace kavelo
