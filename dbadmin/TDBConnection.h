// The program's one attachment object: a connection of the attachment layer with its transaction
// and query, configured for the installation's database (WIN1251, no login dialog).
#pragma once

#include "connectivity/attachment/TIBOQuery.h"
#include "connectivity/attachment/TIB_Connection.h"
#include "connectivity/attachment/TIB_Transaction.h"

#include <memory>
#include <string>

class TDBConnection {
public:
    // Creates Connection, Transaction and Query (each acquires the attachment layer's client
    // library; a library that lacks a required entry point fails here) and configures them.
    // The database string is split into server, path and protocol; a text that is neither a
    // database string nor an identifier fails with "Неправильный DatabaseName". A failing step
    // destroys what was built, in the destruction's order, and passes the failure on.
    TDBConnection(const std::string& databaseString, const std::string& userName,
                  const std::string& password, const std::string& role);
    // Detach, then Query, Transaction and Connection are destroyed in this order.
    ~TDBConnection();
    TDBConnection(const TDBConnection&) = delete;
    TDBConnection& operator=(const TDBConnection&) = delete;

    // Attaches Connection. A library that could not be loaded fails with "Не установлен
    // InterBase клиент GDS32.DLL"; a refusal of the client or the server with the composed text
    // of the attachment layer (EIB_ISCError). Every failure leaves the connection detached.
    void Attach();
    // Detaches Connection; does nothing when it is not attached, and ignores a failing detach.
    void Detach();

    TIB_Connection& Connection() { return *Connection_; }
    TIB_Transaction& Transaction() { return *Transaction_; }
    TIBOQuery& Query() { return *Query_; }

private:
    void Destroy() noexcept;

    std::unique_ptr<TIB_Connection> Connection_;
    std::unique_ptr<TIB_Transaction> Transaction_;
    std::unique_ptr<TIBOQuery> Query_;
};
