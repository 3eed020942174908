// A transaction of the attachment layer, and the statement object that a query holds inside. The
// program never starts a transaction nor prepares a statement: both exist for their settings,
// their links to a connection and their share of the library's load count.
#pragma once

#include "connectivity/attachment/TIB_Component.h"

#include <vector>

class TIB_Connection;
class TIB_Statement;

enum TIB_Isolation { tiConcurrency = 0, tiConsistency = 1, tiCommitted = 2 };

class TIB_Transaction : public TIB_Component {
public:
    TIB_Transaction() = default;
    // Unlinks itself from its connection and its statements.
    ~TIB_Transaction() override;

    // True makes the transaction the focused one of its session.
    bool AnnounceFocus() const { return AnnounceFocus_; }
    void SetAnnounceFocus(bool value);
    // Whether the end of the transaction commits (true) or rolls back (false) when its connection
    // disconnects.
    bool AutoCommit() const { return AutoCommit_; }
    void SetAutoCommit(bool value) { AutoCommit_ = value; }
    TIB_Isolation Isolation() const { return Isolation_; }
    void SetIsolation(TIB_Isolation value) { Isolation_ = value; }

    // The connection the transaction runs on; nullptr when none, or when that connection has
    // been destroyed.
    TIB_Connection* IB_Connection() const { return Connection_; }
    void SetIB_Connection(TIB_Connection* connection);

private:
    friend class TIB_Connection;
    friend class TIB_Statement;

    bool AnnounceFocus_ = false;
    bool AutoCommit_ = false;
    TIB_Isolation Isolation_ = tiConcurrency;
    TIB_Connection* Connection_ = nullptr;
    std::vector<TIB_Statement*> Statements_;
};

// The statement inside a query: linked to a connection and a transaction, never prepared here.
class TIB_Statement : public TIB_Component {
public:
    TIB_Statement() = default;
    ~TIB_Statement() override;

    TIB_Connection* IB_Connection() const { return Connection_; }
    void SetIB_Connection(TIB_Connection* connection);
    TIB_Transaction* IB_Transaction() const { return Transaction_; }
    void SetIB_Transaction(TIB_Transaction* transaction);

private:
    friend class TIB_Connection;
    friend class TIB_Transaction;

    TIB_Connection* Connection_ = nullptr;
    TIB_Transaction* Transaction_ = nullptr;
};
