// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A write transaction on a channel's connection (or an engine's), taken at once so that no other writer (another
// window, another program, another user of a server catalogue) can come between its statements; rolled back
// unless committed.

namespace engine {

template <typename Channel> class WriteTransaction
{
public:
    explicit WriteTransaction(Channel& channel) : m_channel(channel) { m_channel.begin(); }
    ~WriteTransaction()
    {
        if (!m_committed)
            m_channel.rollback();
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    void commit()
    {
        m_channel.commit();
        m_committed = true;
    }

private:
    Channel& m_channel;
    bool m_committed = false;
};

} // namespace engine
