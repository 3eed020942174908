// A connection object of the attachment layer: its settings kept as named parameters, the
// database string split into server, path and protocol, and the attach and detach of a database.
#pragma once

#include "connectivity/attachment/TIB_Component.h"
#include "connectivity/attachment/TIB_Params.h"
#include "connectivity/attachment/TIB_Transaction.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

enum TIB_Protocol { cpLocal = 0, cpNetBEUI = 1, cpTCP_IP = 2, cpNovell = 3 };

enum TIB_ConnectionState { csDisconnected, csConnecting, csConnected, csDisconnecting };

class TIB_Connection : public TIB_Component {
public:
    TIB_Connection();
    // Detaches first when attached (without running the events), then unlinks its transactions
    // and statements.
    ~TIB_Connection() override;

    // Events of the connect and disconnect sequences; each runs only when assigned (the program
    // assigns none). A failure raised by BeforeConnect or BeforeDisconnect stops the sequence and
    // passes to the caller.
    using TConnectionEvent = std::function<void(TIB_Connection&)>;
    TConnectionEvent BeforeConnect;
    TConnectionEvent AfterConnect;
    TConnectionEvent BeforeDisconnect;
    TConnectionEvent AfterDisconnect;
    TConnectionEvent OnConnectedChanged;
    // Runs after the last item of the parameter block is added, with the block itself (version
    // byte first) to change; a block longer than the client's 16-bit length is then refused.
    std::function<void(TIB_Connection&, std::string& block)> OnCustomizeDPB;

    // True makes the connection the focused one of its session.
    bool AnnounceFocus() const { return AnnounceFocus_; }
    void SetAnnounceFocus(bool value);
    // The layer has no login dialog: the attach runs once whatever this flag says.
    bool LoginPrompt() const { return LoginPrompt_; }
    void SetLoginPrompt(bool value) { LoginPrompt_ = value; }
    // "PAGE SIZE": a value of 1024 or more becomes the largest multiple of 1024 not above it, a
    // smaller one 1024; 1024 is kept as the absence of the line, and is what a missing line
    // reads. Used only when a database is created, never sent with an attach.
    int PageSize() const;
    void SetPageSize(int value);
    // "SQL DIALECT": values above 1 are kept, 1 or less removes the line, which reads as 1.
    // Never sent with an attach.
    int SQLDialect() const;
    void SetSQLDialect(int value);

    // The parameter list itself; writes here are not refused while attached.
    TIB_Params& Params() { return Params_; }
    const TIB_Params& Params() const { return Params_; }

    // Index 1 user name, 2 password, 3 server, 4 role, 5 path, 6 license, 7 SYSDBA name,
    // 8 encrypt key, 9 character set, 10 message file; other indexes read empty and write nothing.
    // A write while attached raises EIB_ConnectionError whatever the index, and changes nothing.
    std::string GetIndexedParam(int index);
    void SetIndexedParam(int index, const std::string& value);

    std::string Username() { return GetIndexedParam(1); }
    void SetUsername(const std::string& value) { SetIndexedParam(1, value); }
    std::string Server() { return GetIndexedParam(3); }
    void SetServer(const std::string& value) { SetIndexedParam(3, value); }
    // Reading moves a value found under the older names "ROLE" or "SQL ROLE NAME" to "ROLE NAME".
    std::string SQLRole() { return GetIndexedParam(4); }
    void SetSQLRole(const std::string& value) { SetIndexedParam(4, value); }
    std::string Path() { return GetIndexedParam(5); }
    void SetPath(const std::string& value) { SetIndexedParam(5, value); }
    std::string License() { return GetIndexedParam(6); }
    void SetLicense(const std::string& value) { SetIndexedParam(6, value); }
    std::string SysDBA() { return GetIndexedParam(7); }
    void SetSysDBA(const std::string& value) { SetIndexedParam(7, value); }
    std::string CharSet() { return GetIndexedParam(9); }
    void SetCharSet(const std::string& value) { SetIndexedParam(9, value); }
    std::string MessageFile() { return GetIndexedParam(10); }
    void SetMessageFile(const std::string& value) { SetIndexedParam(10, value); }

    // The password is held beside the parameters; reading falls back to index 2.
    std::string Password();
    void SetPassword(const std::string& value);

    TIB_Protocol Protocol() const;
    // Writing the current value does nothing, even while attached; any other value is refused
    // while attached.
    void SetProtocol(TIB_Protocol protocol);

    // The connection name when one is set, else ComposeDatabaseName().
    std::string DatabaseName() const;
    // A text with ".", "\", ":" or "@" is a database string: it is split and the connection name
    // cleared. Any other text is a connection name: it must be an identifier and is made unique
    // within the session by "_1", "_2" ...
    void SetDatabaseName(const std::string& value);

    // Splits a database string into Server, Path and Protocol (each write refused while attached).
    void ParseDatabaseName(const std::string& value);
    std::string ComposeDatabaseName() const;
    // Raises EIB_ConnectionError "Неверный путь для соединения" when Path has a colon outside
    // double quotes that is neither last nor followed by a slash or a backslash.
    void CheckAttachPath();

    isc_db_handle AttachmentHandle() const { return AttachmentHandle_; }
    bool Connected() const { return AttachmentHandle_ != 0; }
    TIB_ConnectionState ConnectionState() const { return State_; }
    // True starts the connect sequence (attach), false the disconnect sequence (detach);
    // writing the current value does nothing. A failed attach leaves the connection
    // disconnected; a failing detach call is ignored and the handle cleared all the same.
    void SetConnected(bool value);

    // The transactions and statements linked to this connection (their IB_Connection).
    const std::vector<TIB_Transaction*>& Transactions() const { return Transactions_; }
    const std::vector<TIB_Statement*>& Statements() const { return Statements_; }

protected:
    // The client-facing steps of the two sequences: isc_attach_database with the parameter block
    // (failures through the session's ReportStatusError), and isc_detach_database.
    void AttachToDatabase();
    void DetachFromDatabase();

private:
    friend class TIB_Transaction;
    friend class TIB_Statement;

    void Connect();
    void Disconnect();
    void RaiseIfConnected() const;
    void AddDPBItem(std::string& block, unsigned char code, std::string_view value) const;

    TIB_Params Params_;
    std::string ConnectionName_;
    std::string Password_;
    bool PasswordHeld_ = false;
    bool AnnounceFocus_ = false;
    bool LoginPrompt_ = true;
    isc_db_handle AttachmentHandle_ = 0;
    TIB_ConnectionState State_ = csDisconnected;
    std::vector<TIB_Transaction*> Transactions_;
    std::vector<TIB_Statement*> Statements_;
};

// A connection that owns its internal default transaction.
class TIB_Database : public TIB_Connection {
public:
    TIB_Database();
    // Detaches before the internal transaction goes: that transaction's release may be the one
    // that frees the library, and the attachment would then be left open on the server.
    ~TIB_Database() override;

private:
    std::unique_ptr<TIB_Transaction> DefaultTransaction_;
};

// The connection object that the program creates to split a database string.
class TIBODatabase : public TIB_Database {};
