// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "store/query_channel.h"

// A write transaction on a channel's connection, taken at once so that no other writer (another window, another
// program, another user of a server catalogue) can come between its statements; rolled back unless committed.

namespace store {

class WriteTransaction
{
public:
    explicit WriteTransaction(QueryChannel& channel) : m_channel(channel) { m_channel.begin(); }
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
    QueryChannel& m_channel;
    bool m_committed = false;
};

} // namespace store
