// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <libpq-fe.h>

// The PostgreSQL client library, loaded when the first server connection is made: a user who opens only
// catalogue files never maps libpq, nor the TLS, Kerberos and LDAP libraries that come with it. The engine calls
// its functions through the table pq() gives, under their own names (pq().PQexecParams(...)); libpq-fe.h gives
// the types.

namespace server {

// Every libpq function the program calls. A function the library lacks (one older than version 14, before
// pipeline mode) fails the load as a whole, so that no call finds a hole later.
#define MEDIATAR_CLIENT_FUNCTIONS(X)                                                                                   \
    X(PQbackendPID)                                                                                                    \
    X(PQcancel)                                                                                                        \
    X(PQclear)                                                                                                         \
    X(PQcmdStatus)                                                                                                     \
    X(PQcmdTuples)                                                                                                     \
    X(PQconnectPoll)                                                                                                   \
    X(PQconnectStartParams)                                                                                            \
    X(PQconnectdbParams)                                                                                               \
    X(PQconnectionNeedsPassword)                                                                                       \
    X(PQconninfo)                                                                                                      \
    X(PQconninfoFree)                                                                                                  \
    X(PQconsumeInput)                                                                                                  \
    X(PQenterPipelineMode)                                                                                             \
    X(PQerrorMessage)                                                                                                  \
    X(PQexec)                                                                                                          \
    X(PQexecParams)                                                                                                    \
    X(PQexecPrepared)                                                                                                  \
    X(PQexitPipelineMode)                                                                                              \
    X(PQfinish)                                                                                                        \
    X(PQflush)                                                                                                         \
    X(PQfname)                                                                                                         \
    X(PQfreeCancel)                                                                                                    \
    X(PQfreemem)                                                                                                       \
    X(PQftype)                                                                                                         \
    X(PQgetCancel)                                                                                                     \
    X(PQgetResult)                                                                                                     \
    X(PQgetisnull)                                                                                                     \
    X(PQgetlength)                                                                                                     \
    X(PQgetvalue)                                                                                                      \
    X(PQisBusy)                                                                                                        \
    X(PQnfields)                                                                                                       \
    X(PQnotifies)                                                                                                      \
    X(PQntuples)                                                                                                       \
    X(PQparameterStatus)                                                                                               \
    X(PQping)                                                                                                          \
    X(PQpipelineStatus)                                                                                                \
    X(PQpipelineSync)                                                                                                  \
    X(PQprepare)                                                                                                       \
    X(PQresultErrorField)                                                                                              \
    X(PQresultErrorMessage)                                                                                            \
    X(PQresultStatus)                                                                                                  \
    X(PQsendFlushRequest)                                                                                              \
    X(PQsendPrepare)                                                                                                   \
    X(PQsendQuery)                                                                                                     \
    X(PQsendQueryParams)                                                                                               \
    X(PQsendQueryPrepared)                                                                                             \
    X(PQserverVersion)                                                                                                 \
    X(PQsetClientEncoding)                                                                                             \
    X(PQsetNoticeReceiver)                                                                                             \
    X(PQsetSingleRowMode)                                                                                              \
    X(PQsetnonblocking)                                                                                                \
    X(PQsocket)                                                                                                        \
    X(PQstatus)                                                                                                        \
    X(PQtransactionStatus)

struct ClientFunctions
{
#define MEDIATAR_CLIENT_FUNCTION_POINTER(name) decltype(&::name) name = nullptr;
    MEDIATAR_CLIENT_FUNCTIONS(MEDIATAR_CLIENT_FUNCTION_POINTER)
#undef MEDIATAR_CLIENT_FUNCTION_POINTER
};

// The library's functions, loaded at the first call; from any thread. Throws platform::Failure naming the
// library when it cannot be loaded (not installed, or too old); the next call tries again, so a library
// installed meanwhile is found without a restart.
const ClientFunctions& pq();

// The library file pq() loads, "libpq.so.5" unless set.
QString clientLibraryName();
// Loads another file from the next call of pq() on, as on a machine where libpq is missing or another one is
// installed. A table loaded before stays valid for the connections that use it: a library is never unloaded.
void setClientLibraryName(const QString& name);

} // namespace server
