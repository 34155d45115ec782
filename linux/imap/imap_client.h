// One connection to an IMAP server, over libetpan, with what watching an
// account needs: log in, list, make and select folders, find new messages
// by UID, fetch many messages per command, append a message with its flags
// and date, remove one message, move one message, and wait for news (IDLE,
// or polling where the server has no IDLE).
//
// Every operation answers with an ImapResult; nothing throws. After a
// result whose disconnected() is true the connection is closed, and every
// operation but Connect answers kNetwork until Connect succeeds again.
// One thread uses a client at a time.
#ifndef VARNOX_LINUX_IMAP_IMAP_CLIENT_H_
#define VARNOX_LINUX_IMAP_IMAP_CLIENT_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/imap/byte_stream.h"
#include "linux/imap/imap_account.h"
#include "linux/imap/imap_result.h"
#include "linux/imap/secret_text.h"

struct mailimap;
struct mailimap_search_key;

namespace varnox {

class EtpanLink;

struct ImapClientOptions {
  // How long the server may stay silent in the middle of an answer, or
  // refuse to take what is written.
  std::chrono::milliseconds io_limit = std::chrono::minutes(2);
  // The most bytes an answer may take, for answers whose size is not known
  // beforehand (lists, searches, headers).
  std::size_t answer_budget = std::size_t{64} << 20;
  // Messages fetched by one command, at most; and their bytes, when whole
  // messages are fetched (a larger message goes alone).
  std::size_t fetch_batch_messages = 1000;
  std::size_t fetch_batch_bytes = std::size_t{16} << 20;
  // Larger messages are fetched without their content (too_large is set).
  std::size_t max_message_bytes = std::size_t{64} << 20;
};

struct ImapFolder {
  std::string wire_name;                // the server's name for it, to give back in commands
  std::string name;                     // in UTF-8; the wire name when that does not decode
  char delimiter = 0;                   // between the levels of its name; 0 when there are none
  std::vector<std::string> attributes;  // as the server sent them: \Junk, \Noselect...

  // Attributes are compared ignoring letter case.
  bool Has(std::string_view attribute) const;
};

struct ImapFolderState {
  std::uint32_t uid_validity = 0;
  std::uint32_t uid_next = 0;  // 0 when the server did not say
  std::uint32_t exists = 0;
};

// What STATUS tells of a folder that need not be selected.
struct ImapFolderStatus {
  std::uint32_t uid_validity = 0;
  std::uint32_t uid_next = 0;
};

// A message's internal date: when the server received it, with the time
// zone it was written in (hours and minutes east of UTC, e.g. -0500 is -500).
struct ImapDate {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, zone = 0;
  friend bool operator==(const ImapDate&, const ImapDate&) = default;
};

// The instant a date names, in seconds since 1970 (UTC). Servers may keep
// the instant and not the zone it was written in. Computed in 64 bits: any
// field values give a number without overflow.
std::int64_t ImapDateToUnixTime(const ImapDate& date);

struct ImapMessage {
  std::uint32_t uid = 0;
  std::uint32_t size = 0;          // with kFetchSize or kFetchContent
  std::vector<std::string> flags;  // \Seen, \Flagged, keywords...; never \Recent
  bool recent = false;  // with kFetchFlags: \Recent (this session is the first to see it)
  std::optional<ImapDate> internal_date;
  std::string header;      // with kFetchHeader: the header block
  std::string content;     // with kFetchContent: the whole message
  bool too_large = false;  // content asked for but not fetched: see max_message_bytes
};

enum ImapFetchPart : unsigned {
  kFetchFlags = 1,
  kFetchInternalDate = 2,
  kFetchSize = 4,
  kFetchHeader = 8,
  kFetchContent = 16,
};

enum class ImapWaitOutcome {
  kServerSpoke,  // the server told of a change (new mail, flags, removals)
  kTimedOut,     // nothing within the time given
  kWoken,        // the wake descriptor became readable
};

class ImapClient {
 public:
  explicit ImapClient(ImapClientOptions options = {});
  ~ImapClient();
  ImapClient(const ImapClient&) = delete;
  ImapClient& operator=(const ImapClient&) = delete;

  // Connects as the account says (TLS, STARTTLS, or plain text to this
  // machine only), checks the certificate, and logs in. A connection that
  // was open is closed first.
  ImapResult Connect(const ImapAccount& account, const SecretText& password);
  // Logs in over a stream already set up (no TLS is started on it); for
  // tests and the fuzz target. `server` names the server in messages.
  ImapResult ConnectOver(std::unique_ptr<ByteStream> stream, const std::string& server,
                         const std::string& user, const SecretText& password);
  bool connected() const { return session_ != nullptr; }

  // What the server said it can do once logged in (upper case: "IDLE",
  // "UIDPLUS", "MOVE", "SPECIAL-USE"...).
  bool HasCapability(std::string_view capability) const;
  const std::vector<std::string>& capabilities() const { return capabilities_; }

  ImapResult ListFolders(std::vector<ImapFolder>* folders);
  // Makes the folder and subscribes to it; a folder that exists already is
  // no failure.
  ImapResult CreateFolder(const std::string& wire_name);
  // SELECT, or EXAMINE when `read_only`.
  ImapResult Select(const std::string& wire_name, bool read_only, ImapFolderState* state);
  // The folder selected last (wire name), empty when none is.
  const std::string& selected() const { return selected_; }
  // STATUS of a folder: its UIDVALIDITY and UIDNEXT, both given by the
  // server (a folder without them is refused).
  ImapResult Status(const std::string& wire_name, ImapFolderStatus* status);

  // The UIDs from `first_uid` on in the selected folder, ascending.
  ImapResult SearchUidsFrom(std::uint32_t first_uid, std::vector<std::uint32_t>* uids);
  // The UIDs of the selected folder's messages that are \Recent or, when
  // `since` is given, whose internal date falls on that day or later,
  // ascending.
  ImapResult SearchRecentOrSince(const std::optional<ImapDate>& since,
                                 std::vector<std::uint32_t>* uids);
  // Which of `uids` the selected folder holds (UID SEARCH), ascending.
  ImapResult SearchUids(const std::vector<std::uint32_t>& uids, std::vector<std::uint32_t>* held);
  // Fetches `parts` (ImapFetchPart bits) of the messages in `uids`, many per
  // command, and hands each to `each` in the server's order once its batch
  // is in; `each` returning false stops the fetch (kStopped). Messages
  // removed meanwhile are passed over.
  ImapResult Fetch(const std::vector<std::uint32_t>& uids, unsigned parts,
                   const std::function<bool(ImapMessage& message)>& each);

  // Appends `message` to the folder with these flags and internal date.
  // *uid is the new message's UID when the server tells it (UIDPLUS), else 0.
  ImapResult Append(const std::string& wire_folder, std::string_view message,
                    const std::vector<std::string>& flags, const std::optional<ImapDate>& date,
                    std::uint32_t* uid);
  // Adds flags or keywords to one message of the selected folder.
  ImapResult AddFlags(std::uint32_t uid, const std::vector<std::string>& flags);
  // Removes these messages of the selected folder and no other: UID EXPUNGE
  // where the server has UIDPLUS; otherwise EXPUNGE, with the \Deleted mark
  // of any other message lifted for that moment and put back after.
  ImapResult Expunge(const std::vector<std::uint32_t>& uids);
  // Copies one message of the selected folder into `wire_folder`; *new_uid
  // as for Move.
  ImapResult Copy(std::uint32_t uid, const std::string& wire_folder, std::uint32_t* new_uid);
  // Moves one message of the selected folder: MOVE where the server has it,
  // else COPY and then Expunge. *new_uid is its UID in `wire_folder` when
  // the server tells it (UIDPLUS), else 0. When the copy was made but the
  // original could not be removed, the result is a failure and both exist.
  ImapResult Move(std::uint32_t uid, const std::string& wire_folder, std::uint32_t* new_uid);

  // Waits at most `limit` for the server to tell of a change in the
  // selected folder: IDLE where the server has it; otherwise the wake
  // descriptor is watched for `limit` and then the server is asked (NOOP).
  // `wake_fd` (-1 for none) ends the wait early when it becomes readable;
  // it is not read.
  ImapResult Wait(std::chrono::milliseconds limit, int wake_fd, ImapWaitOutcome* outcome);
  ImapResult Noop();

  // IDLE in pieces, for a caller that waits on many connections at once:
  // StartIdle sends IDLE (the server must have it); while idling, the
  // connection is readable on WaitDescriptor() when the server speaks, or
  // IdleHasNews() is true already; FinishIdle sends DONE and reads what the
  // server said meanwhile. Any other operation called while idling finishes
  // the IDLE first.
  ImapResult StartIdle();
  bool idling() const { return idling_; }
  bool IdleHasNews() const;
  ImapResult FinishIdle();
  // The connection's descriptor, -1 when not connected.
  int WaitDescriptor() const;

  // Says goodbye to the server and closes the connection.
  void Logout();

 private:
  ImapResult Start(std::unique_ptr<ByteStream> stream, const std::string& server);
  ImapResult StartTls(const ImapAccount& account);
  ImapResult Login(const std::string& user, const SecretText& password);
  ImapResult ReadCapabilities();
  ImapResult FetchBatch(const std::vector<std::uint32_t>& uids, unsigned parts, std::size_t budget,
                        std::vector<ImapMessage>* messages);
  ImapResult StoreFlags(const std::vector<std::uint32_t>& uids,
                        const std::vector<std::string>& flags, bool add);
  // The UIDs that KEY finds, in ascending order, each once.
  ImapResult UidSearch(mailimap_search_key* key, const std::string& what,
                       std::vector<std::uint32_t>* uids);
  ImapResult SearchDeleted(std::vector<std::uint32_t>* uids);
  ImapResult CopyOrMove(std::uint32_t uid, const std::string& wire_folder, bool move,
                        std::uint32_t* new_uid);
  // The result of a libetpan call that failed with `code`, for `what`.
  ImapResult Failure(int code, const std::string& what);
  void Close();

  ImapClientOptions options_;
  std::string server_;
  std::unique_ptr<EtpanLink> link_;
  mailimap* session_ = nullptr;
  std::vector<std::string> capabilities_;
  std::string selected_;
  bool idling_ = false;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_CLIENT_H_
