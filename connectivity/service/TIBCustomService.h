// The service-manager clients of the service layer: a thin layer over isc_service_attach,
// isc_service_start and isc_service_detach, reached through FbClientBinding().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

// How the service manager is addressed; selects the form of the service name.
enum class TProtocol { TCP = 0, SPX = 1, NamedPipe = 2, Local = 3 };

// Every value other than ShutdownForced and ShutdownDenyNewTransactions acts as
// ShutdownDenyNewAttachments.
enum TShutdownMode : int {
    ShutdownForced = 0,
    ShutdownDenyNewTransactions = 1,
    ShutdownDenyNewAttachments = 2
};

// Owns one service handle. Attached while it holds a handle; every failing client call (attach,
// start, detach) clears the handle, so the client then counts as detached and its release sends
// nothing.
class TIBCustomService {
public:
    // Loads the client library first (FbClientBinding().EnsureLoaded()); a failure there
    // propagates and nothing is built.
    TIBCustomService();
    // Detaches when a handle is still held. A destructor cannot raise, so a detach refused here
    // is dropped: a caller that must see that failure detaches first with SetActive(false).
    virtual ~TIBCustomService();
    TIBCustomService(const TIBCustomService&) = delete;
    TIBCustomService& operator=(const TIBCustomService&) = delete;

    // Writing the current text does nothing; another text while attached fails with client
    // text 91.
    const std::string& ServerName() const { return ServerName_; }
    void SetServerName(const std::string& value);

    // Writing the current value does nothing; another value while attached fails with client
    // text 91. Changing to Local empties ServerName.
    TProtocol Protocol() const { return Protocol_; }
    void SetProtocol(TProtocol value);

    // Lines "name=value", the source of the service parameter block. Every write counts as a
    // change, even one that leaves the same lines, and fails with client text 91 while attached.
    const std::vector<std::string>& Params() const { return Params_; }
    void SetParams(std::vector<std::string> lines);
    void AppendParam(const std::string& line);

    // No login dialog exists in this program: true attaches exactly as false does, with the
    // lines of Params.
    bool LoginPrompt() const { return LoginPrompt_; }
    void SetLoginPrompt(bool value) { LoginPrompt_ = value; }

    // True while a service handle is held. Writing true while detached attaches, false while
    // attached detaches; writing the current value does nothing.
    bool Active() const { return Handle_ != 0; }
    void SetActive(bool value);

    // Text 91 when attached; text 92 when ServerName is empty and Protocol is not Local; the
    // refusals of the parameter block (texts 88 and 89, a value over 255 bytes, a block over
    // 65,535 bytes) before the client is called; the server's text when the attach is refused.
    void AttachService();
    // Text 90 when not attached; the server's text when the detach is refused. The handle is
    // cleared either way.
    void DetachService();

    // The text handed to isc_service_attach for the current ServerName and Protocol.
    std::string ServiceName() const;

protected:
    // Subclasses send over it and clear it when a request is refused.
    isc_svc_handle& ServiceHandle() { return Handle_; }

private:
    // The service parameter block of Params: the accepted names are user_name and password
    // (also with "isc_spb_" in front, in any letter case).
    std::string BuildSpb() const;
    void RaiseIfActive() const;
    void ChangeParams();

    std::string ServerName_;
    TProtocol Protocol_ = TProtocol::Local;
    std::vector<std::string> Params_;
    bool LoginPrompt_ = true;
    isc_svc_handle Handle_ = 0;
    std::string Spb_;
    bool ParamsChanged_ = true;
};

// Sends start requests to the service manager over the attached handle.
class TIBControlService : public TIBCustomService {
protected:
    // The pending request becomes the one action byte.
    void BeginStartRequest(unsigned char action);
    // Text item: the code, the length in two bytes little-endian, the bytes; an empty text adds
    // nothing, not even the code.
    void AddStartItem(unsigned char code, std::string_view text);
    // Number item: the code, then the number in four bytes little-endian.
    void AddStartItem(unsigned char code, std::int32_t number);
    // One-byte item: the code, then the value.
    void AddStartByte(unsigned char code, unsigned char value);
    // Text 94 when nothing is pending, text 90 when not attached; the server's text when the
    // request is refused, which also clears the handle. The pending request is empty afterwards
    // whatever happened.
    void SendStartRequest();

private:
    // A request that would outgrow its 16-bit length is refused before it is sent.
    void RaiseIfRequestOutgrows(std::size_t added);

    std::string StartRequest_;
};

// The database properties requests: shutdown, bring online and the write mode.
class TIBConfigService : public TIBControlService {
public:
    // The database's path as the server sees it.
    const std::string& DatabaseName() const { return DatabaseName_; }
    void SetDatabaseName(const std::string& value) { DatabaseName_ = value; }

    // Asks for a shutdown of DatabaseName in `mode`, with `timeout` seconds for the attachments
    // to end (the forced mode ends them). An empty DatabaseName sends the request without the
    // database item and leaves the answer to the server.
    void Shutdown(TShutdownMode mode, std::int32_t timeout);
    // Brings a shut-down database back online.
    void BringOnline();
    // Forced (synchronous) writes on or off for DatabaseName.
    void SetForcedWrites(bool forced);

private:
    std::string DatabaseName_;
};
