#include "linux/imap/imap_client.h"

#include <libetpan/libetpan.h>
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "linux/imap/etpan_link.h"
#include "linux/imap/mailbox_name.h"
#include "linux/imap/socket_stream.h"
#include "linux/imap/tls_stream.h"

namespace varnox {
namespace {

// Owners of libetpan's structures, freed by libetpan's own functions.
template <typename T, void (*Free)(T*)>
struct EtpanFree {
  void operator()(T* p) const {
    if (p != nullptr)
      Free(p);
  }
};
template <typename T, void (*Free)(T*)>
using Etpan = std::unique_ptr<T, EtpanFree<T, Free>>;
using SetPtr = Etpan<mailimap_set, mailimap_set_free>;
using FlagListPtr = Etpan<mailimap_flag_list, mailimap_flag_list_free>;
using FetchTypePtr = Etpan<mailimap_fetch_type, mailimap_fetch_type_free>;
using SearchKeyPtr = Etpan<mailimap_search_key, mailimap_search_key_free>;
using DatePtr = Etpan<mailimap_date_time, mailimap_date_time_free>;
using StoreAttPtr = Etpan<mailimap_store_att_flags, mailimap_store_att_flags_free>;
using FetchListPtr = Etpan<clist, mailimap_fetch_list_free>;
using ListResultPtr = Etpan<clist, mailimap_list_result_free>;
using SearchResultPtr = Etpan<clist, mailimap_search_result_free>;
using StatusAttPtr = Etpan<mailimap_status_att_list, mailimap_status_att_list_free>;
using StatusPtr = Etpan<mailimap_mailbox_data_status, mailimap_mailbox_data_status_free>;

// What a few dozen bytes of command and answer around a message take, over
// its own size, in a fetch's answer.
constexpr std::size_t kFetchOverheadBytes = 4096;
// LOGOUT and the like: a line or two.
constexpr std::size_t kSmallAnswerBytes = 1 << 16;

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Upper(a) == Upper(b);
}

// A server's words, fit to be shown: no control characters, not too long.
std::string Shown(const char* text) {
  if (text == nullptr)
    return {};
  std::string out;
  for (const char* p = text; *p != '\0' && out.size() < 300; ++p)
    out.push_back(static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F ? ' ' : *p);
  return out;
}

// A keyword as IMAP writes it: an atom of printable ASCII without the
// characters that end or quote one.
bool IsAtom(std::string_view text) {
  if (text.empty() || text.size() > 255)
    return false;
  for (char c : text) {
    if (c <= 0x20 || c >= 0x7F || std::strchr("(){%*\"\\]", c) != nullptr)
      return false;
  }
  return true;
}

// The flags a message can be given (\Recent cannot; unknown system flags
// and malformed keywords are left out). Null when out of memory.
FlagListPtr NewFlagList(const std::vector<std::string>& flags) {
  FlagListPtr list(mailimap_flag_list_new_empty());
  if (!list)
    return nullptr;
  for (const std::string& flag : flags) {
    mailimap_flag* made = nullptr;
    const std::string upper = Upper(flag);
    if (upper == "\\SEEN")
      made = mailimap_flag_new_seen();
    else if (upper == "\\ANSWERED")
      made = mailimap_flag_new_answered();
    else if (upper == "\\FLAGGED")
      made = mailimap_flag_new_flagged();
    else if (upper == "\\DELETED")
      made = mailimap_flag_new_deleted();
    else if (upper == "\\DRAFT")
      made = mailimap_flag_new_draft();
    else if (!flag.empty() && flag[0] != '\\' && IsAtom(flag))
      made = mailimap_flag_new_flag_keyword(::strdup(flag.c_str()));
    else
      continue;
    if (made == nullptr || mailimap_flag_list_add(list.get(), made) != MAILIMAP_NO_ERROR) {
      if (made != nullptr)
        mailimap_flag_free(made);
      return nullptr;
    }
  }
  return list;
}

std::string FlagName(const mailimap_flag* flag) {
  switch (flag->fl_type) {
    case MAILIMAP_FLAG_ANSWERED:
      return "\\Answered";
    case MAILIMAP_FLAG_FLAGGED:
      return "\\Flagged";
    case MAILIMAP_FLAG_DELETED:
      return "\\Deleted";
    case MAILIMAP_FLAG_SEEN:
      return "\\Seen";
    case MAILIMAP_FLAG_DRAFT:
      return "\\Draft";
    case MAILIMAP_FLAG_KEYWORD:
      return flag->fl_data.fl_keyword != nullptr ? flag->fl_data.fl_keyword : "";
    case MAILIMAP_FLAG_EXTENSION:
      return flag->fl_data.fl_extension != nullptr ? std::string("\\") + flag->fl_data.fl_extension
                                                   : "";
    default:
      return {};
  }
}

SetPtr NewSet(const std::vector<std::uint32_t>& uids) {
  SetPtr set(mailimap_set_new_empty());
  if (!set)
    return nullptr;
  for (std::uint32_t uid : uids) {
    if (mailimap_set_add_single(set.get(), uid) != MAILIMAP_NO_ERROR)
      return nullptr;
  }
  return set;
}

// A search for the UIDs of SET (which it then owns); null when out of memory.
SearchKeyPtr UidKey(SetPtr set) {
  if (!set)
    return nullptr;
  SearchKeyPtr key(mailimap_search_key_new_uid(set.get()));
  if (key)
    set.release();  // the key owns it now
  return key;
}

// The first UID of a UIDPLUS answer's set (COPYUID, APPENDUID), or 0.
std::uint32_t FirstUid(const mailimap_set* set) {
  if (set == nullptr || set->set_list == nullptr || clist_isempty(set->set_list))
    return 0;
  const auto* item =
      static_cast<const mailimap_set_item*>(clist_content(clist_begin(set->set_list)));
  return item != nullptr ? item->set_first : 0;
}

// A date a server could mean: libetpan takes each field as any number.
// Anything else is no date at all.
bool IsPlausible(const mailimap_date_time& d) {
  const int zone = d.dt_zone < 0 ? -d.dt_zone : d.dt_zone;
  return d.dt_year >= 1 && d.dt_year <= 9999 && d.dt_month >= 1 && d.dt_month <= 12 &&
         d.dt_day >= 1 && d.dt_day <= 31 && d.dt_hour >= 0 && d.dt_hour <= 23 && d.dt_min >= 0 &&
         d.dt_min <= 59 && d.dt_sec >= 0 && d.dt_sec <= 60 && zone <= 1400 && zone % 100 < 60;
}

// One message of a FETCH answer; false when it carries no UID.
bool ReadMessage(const mailimap_msg_att* att, ImapMessage* message) {
  if (att == nullptr || att->att_list == nullptr)
    return false;
  for (clistiter* it = clist_begin(att->att_list); it != nullptr; it = clist_next(it)) {
    const auto* item = static_cast<const mailimap_msg_att_item*>(clist_content(it));
    if (item == nullptr)
      continue;
    if (item->att_type == MAILIMAP_MSG_ATT_ITEM_DYNAMIC) {
      const mailimap_msg_att_dynamic* dynamic = item->att_data.att_dyn;
      if (dynamic == nullptr || dynamic->att_list == nullptr)
        continue;
      for (clistiter* f = clist_begin(dynamic->att_list); f != nullptr; f = clist_next(f)) {
        const auto* fetched = static_cast<const mailimap_flag_fetch*>(clist_content(f));
        if (fetched != nullptr && fetched->fl_type == MAILIMAP_FLAG_FETCH_RECENT)
          message->recent = true;
        if (fetched == nullptr || fetched->fl_type != MAILIMAP_FLAG_FETCH_OTHER ||
            fetched->fl_flag == nullptr)
          continue;  // \Recent is the server's, not the message's
        std::string name = FlagName(fetched->fl_flag);
        if (!name.empty())
          message->flags.push_back(std::move(name));
      }
      continue;
    }
    if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC || item->att_data.att_static == nullptr)
      continue;
    const mailimap_msg_att_static* value = item->att_data.att_static;
    switch (value->att_type) {
      case MAILIMAP_MSG_ATT_UID:
        message->uid = value->att_data.att_uid;
        break;
      case MAILIMAP_MSG_ATT_RFC822_SIZE:
        message->size = value->att_data.att_rfc822_size;
        break;
      case MAILIMAP_MSG_ATT_INTERNALDATE:
        if (const mailimap_date_time* d = value->att_data.att_internal_date;
            d != nullptr && IsPlausible(*d))
          message->internal_date = ImapDate{d->dt_year, d->dt_month, d->dt_day, d->dt_hour,
                                            d->dt_min,  d->dt_sec,   d->dt_zone};
        break;
      case MAILIMAP_MSG_ATT_BODY_SECTION: {
        const mailimap_msg_att_body_section* section = value->att_data.att_body_section;
        if (section == nullptr || section->sec_body_part == nullptr)
          break;
        const bool whole =
            section->sec_section == nullptr || section->sec_section->sec_spec == nullptr;
        (whole ? message->content : message->header)
            .assign(section->sec_body_part, section->sec_length);
        break;
      }
      default:
        break;
    }
  }
  return message->uid != 0;
}

ImapFolder ReadFolder(const mailimap_mailbox_list* entry) {
  ImapFolder folder;
  folder.wire_name = entry->mb_name;
  if (!DecodeMailboxName(folder.wire_name, &folder.name))
    folder.name = folder.wire_name;
  folder.delimiter = entry->mb_delimiter;
  const mailimap_mbx_list_flags* flags = entry->mb_flag;
  if (flags == nullptr)
    return folder;
  if (flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG) {
    switch (flags->mbf_sflag) {
      case MAILIMAP_MBX_LIST_SFLAG_MARKED:
        folder.attributes.push_back("\\Marked");
        break;
      case MAILIMAP_MBX_LIST_SFLAG_NOSELECT:
        folder.attributes.push_back("\\Noselect");
        break;
      case MAILIMAP_MBX_LIST_SFLAG_UNMARKED:
        folder.attributes.push_back("\\Unmarked");
        break;
      default:
        break;
    }
  }
  if (flags->mbf_oflags == nullptr)
    return folder;
  for (clistiter* it = clist_begin(flags->mbf_oflags); it != nullptr; it = clist_next(it)) {
    const auto* flag = static_cast<const mailimap_mbx_list_oflag*>(clist_content(it));
    if (flag == nullptr)
      continue;
    if (flag->of_type == MAILIMAP_MBX_LIST_OFLAG_NOINFERIORS)
      folder.attributes.push_back("\\Noinferiors");
    else if (flag->of_type == MAILIMAP_MBX_LIST_OFLAG_FLAG_EXT && flag->of_flag_ext != nullptr)
      folder.attributes.push_back(std::string("\\") + flag->of_flag_ext);
  }
  return folder;
}

}  // namespace

std::int64_t ImapDateToUnixTime(const ImapDate& date) {
  // Days from 1970-01-01 to the date, by the civil calendar (proleptic
  // Gregorian), without the C library's time zone. In 64 bits throughout,
  // so that no value of the fields can overflow.
  const std::int64_t month = date.month;
  const std::int64_t y = std::int64_t{date.year} - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month + (month > 2 ? -3 : 9);
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + date.day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  const std::int64_t days = era * 146097 + day_of_era - 719468;
  const std::int64_t zone = date.zone < 0 ? -std::int64_t{date.zone} : date.zone;
  const std::int64_t zone_seconds =
      (date.zone < 0 ? -1 : 1) * ((zone / 100) * 3600 + (zone % 100) * 60);
  return days * 86400 + std::int64_t{date.hour} * 3600 + std::int64_t{date.minute} * 60 +
         date.second - zone_seconds;
}

bool ImapFolder::Has(std::string_view attribute) const {
  return std::any_of(attributes.begin(), attributes.end(),
                     [&](const std::string& a) { return EqualIgnoringCase(a, attribute); });
}

ImapClient::ImapClient(ImapClientOptions options) : options_(options) {}

ImapClient::~ImapClient() {
  Close();
}

void ImapClient::Close() {
  // mailimap_free says LOGOUT and waits for the answer; with the stream
  // gone first it cannot wait on a server that went silent.
  if (link_ != nullptr)
    link_->Take();
  if (session_ != nullptr) {
    mailimap_free(session_);
    session_ = nullptr;
  }
  link_.reset();
  capabilities_.clear();
  selected_.clear();
  idling_ = false;
}

ImapResult ImapClient::Failure(int code, const std::string& what) {
  const std::string server_words = Shown(session_ != nullptr ? session_->imap_response : nullptr);
  if (code == MAILIMAP_ERROR_BAD_STATE)  // nothing was sent
    return ImapFailure(ImapStatus::kRefused,
                       what + " cannot be sent to " + server_ + " now (is a folder selected?)");
  if (code == MAILIMAP_ERROR_STREAM || code == MAILIMAP_ERROR_PARSE ||
      code == MAILIMAP_ERROR_MEMORY || code == MAILIMAP_ERROR_FATAL ||
      code == MAILIMAP_ERROR_NEEDS_MORE_DATA) {
    const bool over_budget = link_ != nullptr && link_->over_budget();
    std::string why;
    if (code == MAILIMAP_ERROR_PARSE && !over_budget)
      why = "its answer could not be read";
    else if (link_ != nullptr && !link_->error().empty())
      why = link_->error();
    else
      why = "the connection failed";
    const bool lost = code == MAILIMAP_ERROR_STREAM && !over_budget;
    ImapResult result = ImapFailure(lost ? ImapStatus::kNetwork : ImapStatus::kProtocol,
                                    "the server " + server_ + " (" + what + "): " + why);
    Close();
    return result;
  }
  return ImapFailure(ImapStatus::kRefused, "the server " + server_ + " refused " + what +
                                               (server_words.empty() ? "" : ": " + server_words));
}

ImapResult ImapClient::Connect(const ImapAccount& account, const SecretText& password) {
  Close();
  ImapResult result;
  const bool plain = account.security == ImapSecurity::kPlain;
  const auto limit = options_.io_limit;
  std::unique_ptr<SocketStream> socket =
      SocketStream::Connect(account.server, account.port, plain, limit, &result);
  if (!socket)
    return result;
  std::unique_ptr<ByteStream> stream;
  if (account.security == ImapSecurity::kTls) {
    stream = TlsStream::Start(std::move(socket),
                              {account.server, account.ca_file, account.fingerprint}, &result);
    if (!stream)
      return result;
  } else {
    stream = std::move(socket);
  }
  result = Start(std::move(stream), account.server);
  if (result.ok() && account.security == ImapSecurity::kStartTls)
    result = StartTls(account);
  if (result.ok())
    result = Login(account.user, password);
  // A connection that is not logged in is of no use to anyone.
  if (!result.ok())
    Close();
  return result;
}

ImapResult ImapClient::ConnectOver(std::unique_ptr<ByteStream> stream, const std::string& server,
                                   const std::string& user, const SecretText& password) {
  Close();
  ImapResult result = Start(std::move(stream), server);
  if (result.ok())
    result = Login(user, password);
  if (!result.ok())
    Close();
  return result;
}

ImapResult ImapClient::Start(std::unique_ptr<ByteStream> stream, const std::string& server) {
  server_ = server;
  link_ = std::make_unique<EtpanLink>(std::move(stream));
  link_->SetBudget(kSmallAnswerBytes);
  session_ = mailimap_new(0, nullptr);
  if (session_ == nullptr) {
    link_.reset();
    return ImapFailure(ImapStatus::kNetwork, "out of memory for a connection to " + server);
  }
  mailstream* mail_stream = link_->NewMailstream();
  if (mail_stream == nullptr) {
    Close();
    return ImapFailure(ImapStatus::kNetwork, "out of memory for a connection to " + server);
  }
  // mailimap_connect owns the stream from here, and closes it on failure.
  const int code = mailimap_connect(session_, mail_stream);
  if (code != MAILIMAP_NO_ERROR_AUTHENTICATED && code != MAILIMAP_NO_ERROR_NON_AUTHENTICATED) {
    const std::string why = !link_->error().empty() ? link_->error() : "no IMAP greeting";
    Close();
    return ImapFailure(ImapStatus::kNetwork, "the server " + server + " did not greet: " + why);
  }
  return ReadCapabilities();
}

ImapResult ImapClient::StartTls(const ImapAccount& account) {
  if (!HasCapability("STARTTLS")) {
    Close();
    return ImapFailure(ImapStatus::kAccount, "the server " + account.server +
                                                 " does not offer STARTTLS; the account asks "
                                                 "for security = starttls");
  }
  const int code = mailimap_starttls(session_);
  // Bytes that came after the server's answer and before TLS would be
  // taken as if they had come over TLS: a sign of tampering. (libetpan
  // refuses them too, as a failed STARTTLS.)
  if (session_ != nullptr && session_->imap_stream != nullptr &&
      session_->imap_stream->read_buffer_len != 0) {
    Close();
    return ImapFailure(ImapStatus::kProtocol, "the server " + account.server +
                                                  " sent data before TLS began after STARTTLS");
  }
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "STARTTLS");
  std::unique_ptr<ByteStream> plain = link_->Take();
  auto* socket = dynamic_cast<SocketStream*>(plain.get());
  if (socket == nullptr) {
    Close();
    return ImapFailure(ImapStatus::kProtocol, "STARTTLS needs a socket");
  }
  plain.release();
  ImapResult result;
  std::unique_ptr<TlsStream> tls =
      TlsStream::Start(std::unique_ptr<SocketStream>(socket),
                       {account.server, account.ca_file, account.fingerprint}, &result);
  if (!tls) {
    Close();
    return result;
  }
  link_->Put(std::move(tls));
  // What the server said before TLS cannot be trusted; ask again.
  return ReadCapabilities();
}

ImapResult ImapClient::Login(const std::string& user, const SecretText& password) {
  if (HasCapability("LOGINDISABLED")) {
    Close();
    return ImapFailure(ImapStatus::kAccount,
                       "the server " + server_ + " does not allow logging in over this connection");
  }
  // A server that greets with PREAUTH has logged us in already. (Before
  // STARTTLS that fails the STARTTLS: TLS is never skipped.)
  if (session_->imap_state == MAILIMAP_STATE_AUTHENTICATED)
    return ImapOk();
  link_->SetBudget(kSmallAnswerBytes);
  const int code = mailimap_login(session_, user.c_str(), password.c_str());
  if (code == MAILIMAP_ERROR_LOGIN) {
    const std::string words = Shown(session_->imap_response);
    const char* atom =
        session_->imap_response_info != nullptr ? session_->imap_response_info->rsp_atom : nullptr;
    // [UNAVAILABLE] is a server's way of saying "not now": no verdict on
    // the password.
    const bool unavailable = (atom != nullptr && EqualIgnoringCase(atom, "UNAVAILABLE")) ||
                             words.find("[UNAVAILABLE]") != std::string::npos;
    Close();
    if (unavailable)
      return ImapFailure(ImapStatus::kNetwork,
                         "the server " + server_ + " cannot log in now: " + words);
    return ImapFailure(ImapStatus::kAuthentication, "the server " + server_ +
                                                        " refused the user name or password of " +
                                                        user + (words.empty() ? "" : ": " + words));
  }
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "the login");
  return ReadCapabilities();
}

ImapResult ImapClient::ReadCapabilities() {
  // libetpan's mailimap_capability() reads through a null pointer when the
  // server's answer holds no CAPABILITY line, and its custom command adds a
  // space after the command that strict servers refuse. So the command line
  // is written here (libetpan's own tag, then the word), libetpan parses the
  // answer, and the list it keeps is read here, if there is one. What an
  // earlier answer left there is dropped first: after STARTTLS and after
  // the login only the new list counts.
  mailimap_connection_info* info = session_->imap_connection_info;
  if (info != nullptr && info->imap_capability != nullptr) {
    mailimap_capability_data_free(info->imap_capability);
    info->imap_capability = nullptr;
  }
  link_->SetBudget(kSmallAnswerBytes);
  static constexpr char kCommand[] = "CAPABILITY\r\n";
  int code = mailimap_send_current_tag(session_);
  if (code == MAILIMAP_NO_ERROR &&
      (mailstream_write(session_->imap_stream, kCommand, sizeof kCommand - 1) !=
           static_cast<ssize_t>(sizeof kCommand - 1) ||
       mailstream_flush(session_->imap_stream) != 0))
    code = MAILIMAP_ERROR_STREAM;
  mailimap_response* response = nullptr;
  if (code == MAILIMAP_NO_ERROR && mailimap_read_line(session_) == nullptr)
    code = MAILIMAP_ERROR_STREAM;  // libetpan parses from the line it has read
  if (code == MAILIMAP_NO_ERROR)
    code = mailimap_parse_response(session_, &response);
  if (code == MAILIMAP_NO_ERROR) {
    const mailimap_response_done* done = response != nullptr ? response->rsp_resp_done : nullptr;
    if (done == nullptr || done->rsp_type != MAILIMAP_RESP_DONE_TYPE_TAGGED)
      code = MAILIMAP_ERROR_STREAM;  // BYE: the server is going
    else if (done->rsp_data.rsp_tagged == nullptr ||
             done->rsp_data.rsp_tagged->rsp_cond_state == nullptr ||
             done->rsp_data.rsp_tagged->rsp_cond_state->rsp_type != MAILIMAP_RESP_COND_STATE_OK)
      code = MAILIMAP_ERROR_CAPABILITY;
  }
  if (response != nullptr)
    mailimap_response_free(response);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "CAPABILITY");
  capabilities_.clear();
  info = session_->imap_connection_info;
  const mailimap_capability_data* data = info != nullptr ? info->imap_capability : nullptr;
  if (data != nullptr && data->cap_list != nullptr) {
    for (clistiter* it = clist_begin(data->cap_list); it != nullptr; it = clist_next(it)) {
      const auto* capability = static_cast<const struct mailimap_capability*>(clist_content(it));
      if (capability == nullptr)
        continue;
      if (capability->cap_type == MAILIMAP_CAPABILITY_AUTH_TYPE &&
          capability->cap_data.cap_auth_type != nullptr)
        capabilities_.push_back("AUTH=" + Upper(capability->cap_data.cap_auth_type));
      else if (capability->cap_type == MAILIMAP_CAPABILITY_NAME &&
               capability->cap_data.cap_name != nullptr)
        capabilities_.push_back(Upper(capability->cap_data.cap_name));
    }
  }
  return ImapOk();
}

bool ImapClient::HasCapability(std::string_view capability) const {
  const std::string wanted = Upper(capability);
  return std::find(capabilities_.begin(), capabilities_.end(), wanted) != capabilities_.end();
}

// Every operation but IDLE's own needs a connection that is not idling.
#define VARNOX_IMAP_REQUIRE_CONNECTION()                                                  \
  do {                                                                                    \
    if (session_ == nullptr)                                                              \
      return ImapFailure(ImapStatus::kNetwork, "not connected to the server " + server_); \
    if (idling_) {                                                                        \
      if (ImapResult finished = FinishIdle(); !finished.ok())                             \
        return finished;                                                                  \
    }                                                                                     \
  } while (0)

ImapResult ImapClient::ListFolders(std::vector<ImapFolder>* folders) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  link_->SetBudget(options_.answer_budget);
  clist* raw = nullptr;
  const int code = mailimap_list(session_, "", "*", &raw);
  ListResultPtr list(raw);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "LIST");
  folders->clear();
  if (list) {
    for (clistiter* it = clist_begin(list.get()); it != nullptr; it = clist_next(it)) {
      const auto* entry = static_cast<const mailimap_mailbox_list*>(clist_content(it));
      if (entry != nullptr && entry->mb_name != nullptr)
        folders->push_back(ReadFolder(entry));
    }
  }
  return ImapOk();
}

ImapResult ImapClient::CreateFolder(const std::string& wire_name) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  link_->SetBudget(kSmallAnswerBytes);
  const int code = mailimap_create(session_, wire_name.c_str());
  if (code != MAILIMAP_NO_ERROR) {
    ImapResult failed = Failure(code, "to make the folder " + wire_name);
    if (failed.status != ImapStatus::kRefused)
      return failed;
    // Refused: fine when it is there already (made by another client, or
    // the server's words for "exists" are its own).
    link_->SetBudget(options_.answer_budget);
    clist* raw = nullptr;
    const int listed = mailimap_list(session_, "", wire_name.c_str(), &raw);
    ListResultPtr list(raw);
    if (listed != MAILIMAP_NO_ERROR)
      return Failure(listed, "LIST");
    if (!list || clist_isempty(list.get()))
      return failed;
  }
  link_->SetBudget(kSmallAnswerBytes);
  const int subscribed = mailimap_subscribe(session_, wire_name.c_str());
  if (subscribed != MAILIMAP_NO_ERROR) {
    const ImapResult failed = Failure(subscribed, "to subscribe to " + wire_name);
    if (failed.status != ImapStatus::kRefused)
      return failed;  // a refused subscription leaves the folder usable
  }
  return ImapOk();
}

ImapResult ImapClient::Select(const std::string& wire_name, bool read_only,
                              ImapFolderState* state) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  link_->SetBudget(options_.answer_budget);
  const int code = read_only ? mailimap_examine(session_, wire_name.c_str())
                             : mailimap_select(session_, wire_name.c_str());
  selected_.clear();
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, (read_only ? "EXAMINE " : "SELECT ") + wire_name);
  const mailimap_selection_info* info = session_->imap_selection_info;
  if (info == nullptr || info->sel_uidvalidity == 0) {
    // Without UIDVALIDITY no UID can be trusted from one session to the next.
    Close();
    return ImapFailure(ImapStatus::kProtocol,
                       "the server " + server_ + " gave no UIDVALIDITY for " + wire_name);
  }
  *state = {info->sel_uidvalidity, info->sel_uidnext, info->sel_exists};
  selected_ = wire_name;
  return ImapOk();
}

ImapResult ImapClient::Status(const std::string& wire_name, ImapFolderStatus* status) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  StatusAttPtr wanted(mailimap_status_att_list_new_empty());
  if (!wanted ||
      mailimap_status_att_list_add(wanted.get(), MAILIMAP_STATUS_ATT_UIDNEXT) !=
          MAILIMAP_NO_ERROR ||
      mailimap_status_att_list_add(wanted.get(), MAILIMAP_STATUS_ATT_UIDVALIDITY) !=
          MAILIMAP_NO_ERROR)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  link_->SetBudget(kSmallAnswerBytes);
  mailimap_mailbox_data_status* raw = nullptr;
  const int code = mailimap_status(session_, wire_name.c_str(), wanted.get(), &raw);
  StatusPtr answer(raw);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "STATUS " + wire_name);
  *status = {};
  if (answer && answer->st_info_list != nullptr) {
    for (clistiter* it = clist_begin(answer->st_info_list); it != nullptr; it = clist_next(it)) {
      const auto* info = static_cast<const mailimap_status_info*>(clist_content(it));
      if (info != nullptr && info->st_att == MAILIMAP_STATUS_ATT_UIDNEXT)
        status->uid_next = info->st_value;
      else if (info != nullptr && info->st_att == MAILIMAP_STATUS_ATT_UIDVALIDITY)
        status->uid_validity = info->st_value;
    }
  }
  if (status->uid_validity == 0 || status->uid_next == 0) {
    Close();
    return ImapFailure(
        ImapStatus::kProtocol,
        "the server " + server_ + " gave no UIDVALIDITY or UIDNEXT for " + wire_name);
  }
  return ImapOk();
}

ImapResult ImapClient::UidSearch(mailimap_search_key* key, const std::string& what,
                                 std::vector<std::uint32_t>* uids) {
  link_->SetBudget(options_.answer_budget);
  clist* raw = nullptr;
  const int code = mailimap_uid_search(session_, nullptr, key, &raw);
  SearchResultPtr result(raw);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, what);
  uids->clear();
  if (result) {
    for (clistiter* it = clist_begin(result.get()); it != nullptr; it = clist_next(it)) {
      if (const auto* uid = static_cast<const std::uint32_t*>(clist_content(it)); uid != nullptr)
        uids->push_back(*uid);
    }
  }
  std::sort(uids->begin(), uids->end());
  uids->erase(std::unique(uids->begin(), uids->end()), uids->end());
  return ImapOk();
}

ImapResult ImapClient::SearchUidsFrom(std::uint32_t first_uid, std::vector<std::uint32_t>* uids) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  SearchKeyPtr key = UidKey(SetPtr(mailimap_set_new_interval(first_uid == 0 ? 1 : first_uid, 0)));
  if (!key)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  const ImapResult result = UidSearch(key.get(), "UID SEARCH", uids);
  if (!result.ok())
    return result;
  // "n:*" holds the highest UID even when it is below n.
  std::erase_if(*uids, [&](std::uint32_t uid) { return uid < first_uid; });
  return ImapOk();
}

ImapResult ImapClient::SearchRecentOrSince(const std::optional<ImapDate>& since,
                                           std::vector<std::uint32_t>* uids) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  SearchKeyPtr recent(mailimap_search_key_new(
      MAILIMAP_SEARCH_KEY_RECENT, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr));
  if (!recent)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  SearchKeyPtr key = std::move(recent);
  if (since) {
    mailimap_date* day = mailimap_date_new(since->day, since->month, since->year);
    SearchKeyPtr after(day != nullptr ? mailimap_search_key_new_since(day) : nullptr);
    if (!after) {
      if (day != nullptr)
        mailimap_date_free(day);
      return ImapFailure(ImapStatus::kProtocol, "out of memory");
    }
    SearchKeyPtr either(mailimap_search_key_new_or(key.get(), after.get()));
    if (!either)
      return ImapFailure(ImapStatus::kProtocol, "out of memory");
    key.release();  // the OR owns both now
    after.release();
    key = std::move(either);
  }
  return UidSearch(key.get(), "UID SEARCH", uids);
}

ImapResult ImapClient::SearchUids(const std::vector<std::uint32_t>& uids,
                                  std::vector<std::uint32_t>* held) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  held->clear();
  if (uids.empty())
    return ImapOk();
  SearchKeyPtr key = UidKey(NewSet(uids));
  if (!key)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  const ImapResult result = UidSearch(key.get(), "UID SEARCH", held);
  if (!result.ok())
    return result;
  // Only those asked for: a server may answer with others.
  std::vector<std::uint32_t> asked = uids;
  std::sort(asked.begin(), asked.end());
  std::erase_if(*held, [&](std::uint32_t uid) {
    return !std::binary_search(asked.begin(), asked.end(), uid);
  });
  return ImapOk();
}

ImapResult ImapClient::FetchBatch(const std::vector<std::uint32_t>& uids, unsigned parts,
                                  std::size_t budget, std::vector<ImapMessage>* messages) {
  SetPtr set = NewSet(uids);
  FetchTypePtr type(mailimap_fetch_type_new_fetch_att_list_empty());
  if (!set || !type)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  auto add = [&](mailimap_fetch_att* att) {
    if (att == nullptr)
      return false;
    if (mailimap_fetch_type_new_fetch_att_list_add(type.get(), att) != MAILIMAP_NO_ERROR) {
      mailimap_fetch_att_free(att);
      return false;
    }
    return true;
  };
  bool built = add(mailimap_fetch_att_new_uid());
  if ((parts & kFetchFlags) != 0)
    built = built && add(mailimap_fetch_att_new_flags());
  if ((parts & kFetchInternalDate) != 0)
    built = built && add(mailimap_fetch_att_new_internaldate());
  if ((parts & (kFetchSize | kFetchContent)) != 0)
    built = built && add(mailimap_fetch_att_new_rfc822_size());
  if ((parts & kFetchHeader) != 0)
    built = built && add(mailimap_fetch_att_new_body_peek_section(mailimap_section_new_header()));
  if ((parts & kFetchContent) != 0)
    built = built && add(mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
  if (!built)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  link_->SetBudget(budget);
  clist* raw = nullptr;
  const int code = mailimap_uid_fetch(session_, set.get(), type.get(), &raw);
  FetchListPtr list(raw);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "UID FETCH");
  messages->clear();
  if (!list)
    return ImapOk();
  // Only the messages asked for, each once: a server may announce others
  // (new flags elsewhere, or anything at all), and those are not this
  // fetch's answer.
  std::vector<std::uint32_t> wanted = uids;
  std::sort(wanted.begin(), wanted.end());
  std::vector<bool> taken(wanted.size(), false);
  for (clistiter* it = clist_begin(list.get()); it != nullptr; it = clist_next(it)) {
    ImapMessage message;
    if (!ReadMessage(static_cast<const mailimap_msg_att*>(clist_content(it)), &message))
      continue;
    const auto at = std::lower_bound(wanted.begin(), wanted.end(), message.uid);
    if (at == wanted.end() || *at != message.uid || taken[at - wanted.begin()])
      continue;
    taken[at - wanted.begin()] = true;
    if (message.content.size() > options_.max_message_bytes) {
      message.content.clear();
      message.too_large = true;
    }
    messages->push_back(std::move(message));
  }
  return ImapOk();
}

ImapResult ImapClient::Fetch(const std::vector<std::uint32_t>& uids, unsigned parts,
                             const std::function<bool(ImapMessage& message)>& each) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  const std::size_t per_batch = std::max<std::size_t>(1, options_.fetch_batch_messages);
  std::vector<ImapMessage> messages;
  for (std::size_t first = 0; first < uids.size(); first += per_batch) {
    const std::vector<std::uint32_t> batch(
        uids.begin() + static_cast<long>(first),
        uids.begin() + static_cast<long>(std::min(uids.size(), first + per_batch)));
    if ((parts & kFetchContent) == 0) {
      ImapResult fetched = FetchBatch(batch, parts, options_.answer_budget, &messages);
      if (!fetched.ok())
        return fetched;
      for (ImapMessage& message : messages) {
        if (!each(message))
          return ImapFailure(ImapStatus::kStopped, "stopped");
      }
      continue;
    }
    // Whole messages: their sizes first, so that each command's answer has
    // a known bound, and no message larger than allowed is taken in.
    std::vector<ImapMessage> sized;
    ImapResult fetched = FetchBatch(batch, kFetchSize, options_.answer_budget, &sized);
    if (!fetched.ok())
      return fetched;
    std::vector<std::uint32_t> group;
    std::size_t group_bytes = 0;
    auto flush = [&]() -> ImapResult {
      if (group.empty())
        return ImapOk();
      const std::size_t budget = group_bytes + group.size() * kFetchOverheadBytes +
                                 (parts & kFetchHeader ? options_.answer_budget : 0) +
                                 kSmallAnswerBytes;
      ImapResult result = FetchBatch(group, parts, budget, &messages);
      group.clear();
      group_bytes = 0;
      if (!result.ok())
        return result;
      for (ImapMessage& message : messages) {
        if (!each(message))
          return ImapFailure(ImapStatus::kStopped, "stopped");
      }
      return ImapOk();
    };
    for (const ImapMessage& size_only : sized) {
      if (size_only.size > options_.max_message_bytes) {
        ImapResult result = flush();
        if (!result.ok())
          return result;
        // Its other parts, without the content.
        const unsigned rest = (parts & ~static_cast<unsigned>(kFetchContent)) | kFetchSize;
        result = FetchBatch({size_only.uid}, rest, options_.answer_budget, &messages);
        if (!result.ok())
          return result;
        for (ImapMessage& message : messages) {
          message.too_large = true;
          message.content.clear();  // sent unasked
          if (!each(message))
            return ImapFailure(ImapStatus::kStopped, "stopped");
        }
        continue;
      }
      if (!group.empty() && group_bytes + size_only.size > options_.fetch_batch_bytes) {
        ImapResult result = flush();
        if (!result.ok())
          return result;
      }
      group.push_back(size_only.uid);
      group_bytes += size_only.size;
    }
    ImapResult result = flush();
    if (!result.ok())
      return result;
  }
  return ImapOk();
}

ImapResult ImapClient::Append(const std::string& wire_folder, std::string_view message,
                              const std::vector<std::string>& flags,
                              const std::optional<ImapDate>& date, std::uint32_t* uid) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  *uid = 0;
  FlagListPtr flag_list = NewFlagList(flags);
  DatePtr date_time;
  if (date)
    date_time.reset(mailimap_date_time_new(date->day, date->month, date->year, date->hour,
                                           date->minute, date->second, date->zone));
  if (!flag_list || (date && !date_time))
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  link_->SetBudget(kSmallAnswerBytes);
  int code;
  if (HasCapability("UIDPLUS")) {
    std::uint32_t validity = 0;
    code = mailimap_uidplus_append(session_, wire_folder.c_str(), flag_list.get(), date_time.get(),
                                   message.data(), message.size(), &validity, uid);
  } else {
    code = mailimap_append(session_, wire_folder.c_str(), flag_list.get(), date_time.get(),
                           message.data(), message.size());
  }
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "APPEND to " + wire_folder);
  return ImapOk();
}

ImapResult ImapClient::StoreFlags(const std::vector<std::uint32_t>& uids,
                                  const std::vector<std::string>& flags, bool add) {
  SetPtr set = NewSet(uids);
  FlagListPtr flag_list = NewFlagList(flags);
  if (!set || !flag_list)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  StoreAttPtr store(add ? mailimap_store_att_flags_new_add_flags_silent(flag_list.get())
                        : mailimap_store_att_flags_new_remove_flags_silent(flag_list.get()));
  if (!store)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  flag_list.release();  // the store owns it now
  link_->SetBudget(options_.answer_budget);
  const int code = mailimap_uid_store(session_, set.get(), store.get());
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "UID STORE");
  return ImapOk();
}

ImapResult ImapClient::AddFlags(std::uint32_t uid, const std::vector<std::string>& flags) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  return StoreFlags({uid}, flags, true);
}

ImapResult ImapClient::SearchDeleted(std::vector<std::uint32_t>* uids) {
  SearchKeyPtr key(mailimap_search_key_new(
      MAILIMAP_SEARCH_KEY_DELETED, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr));
  if (!key)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  return UidSearch(key.get(), "UID SEARCH DELETED", uids);
}

ImapResult ImapClient::Expunge(const std::vector<std::uint32_t>& uids) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  if (uids.empty())
    return ImapOk();
  ImapResult result = StoreFlags(uids, {"\\Deleted"}, true);
  if (!result.ok())
    return result;
  if (HasCapability("UIDPLUS")) {
    SetPtr set = NewSet(uids);
    if (!set)
      return ImapFailure(ImapStatus::kProtocol, "out of memory");
    link_->SetBudget(options_.answer_budget);
    const int code = mailimap_uid_expunge(session_, set.get());
    if (code != MAILIMAP_NO_ERROR)
      return Failure(code, "UID EXPUNGE");
    return ImapOk();
  }
  // EXPUNGE removes every message marked \Deleted. Messages the user marked
  // so are kept for the user's own client to remove, so their mark is lifted
  // for the moment of the EXPUNGE. Should the connection drop in between,
  // they keep their content and lose only the mark.
  std::vector<std::uint32_t> deleted;
  result = SearchDeleted(&deleted);
  if (!result.ok())
    return result;
  std::vector<std::uint32_t> others;
  for (std::uint32_t found : deleted) {
    if (std::find(uids.begin(), uids.end(), found) == uids.end())
      others.push_back(found);
  }
  if (!others.empty()) {
    result = StoreFlags(others, {"\\Deleted"}, false);
    if (!result.ok())
      return result;
  }
  link_->SetBudget(options_.answer_budget);
  const int code = mailimap_expunge(session_);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "EXPUNGE");
  if (!others.empty())
    return StoreFlags(others, {"\\Deleted"}, true);
  return ImapOk();
}

ImapResult ImapClient::CopyOrMove(std::uint32_t uid, const std::string& wire_folder, bool move,
                                  std::uint32_t* new_uid) {
  *new_uid = 0;
  SetPtr set(mailimap_set_new_single(uid));
  if (!set)
    return ImapFailure(ImapStatus::kProtocol, "out of memory");
  link_->SetBudget(options_.answer_budget);
  int code;
  if (HasCapability("UIDPLUS")) {
    std::uint32_t validity = 0;
    mailimap_set* source = nullptr;
    mailimap_set* destination = nullptr;
    code = move ? mailimap_uidplus_uid_move(session_, set.get(), wire_folder.c_str(), &validity,
                                            &source, &destination)
                : mailimap_uidplus_uid_copy(session_, set.get(), wire_folder.c_str(), &validity,
                                            &source, &destination);
    SetPtr source_owner(source);
    SetPtr destination_owner(destination);
    if (code == MAILIMAP_NO_ERROR)
      *new_uid = FirstUid(destination);
  } else {
    code = move ? mailimap_uid_move(session_, set.get(), wire_folder.c_str())
                : mailimap_uid_copy(session_, set.get(), wire_folder.c_str());
  }
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, (move ? "UID MOVE to " : "UID COPY to ") + wire_folder);
  return ImapOk();
}

ImapResult ImapClient::Copy(std::uint32_t uid, const std::string& wire_folder,
                            std::uint32_t* new_uid) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  return CopyOrMove(uid, wire_folder, false, new_uid);
}

ImapResult ImapClient::Move(std::uint32_t uid, const std::string& wire_folder,
                            std::uint32_t* new_uid) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  const bool move = HasCapability("MOVE");
  ImapResult result = CopyOrMove(uid, wire_folder, move, new_uid);
  if (!result.ok() || move)
    return result;
  ImapResult removed = Expunge({uid});
  if (!removed.ok())
    removed.text += " (the copy in " + wire_folder + " was made; the original remains)";
  return removed;
}

ImapResult ImapClient::Noop() {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  link_->SetBudget(options_.answer_budget);
  const int code = mailimap_noop(session_);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "NOOP");
  return ImapOk();
}

ImapResult ImapClient::Wait(std::chrono::milliseconds limit, int wake_fd,
                            ImapWaitOutcome* outcome) {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  *outcome = ImapWaitOutcome::kTimedOut;
  const int timeout = static_cast<int>(std::min<long long>(limit.count(), 1 << 30));
  const mailimap_selection_info* info = session_->imap_selection_info;
  const std::uint32_t exists_before = info != nullptr ? info->sel_exists : 0;

  if (!HasCapability("IDLE")) {
    if (wake_fd >= 0) {
      if (WaitForDescriptor(wake_fd, POLLIN, limit) == 1) {
        *outcome = ImapWaitOutcome::kWoken;
        return ImapOk();
      }
    } else {
      ::poll(nullptr, 0, timeout);
    }
    ImapResult result = Noop();
    if (!result.ok())
      return result;
    info = session_->imap_selection_info;
    const bool expunged = session_->imap_response_info != nullptr &&
                          session_->imap_response_info->rsp_expunged != nullptr &&
                          !clist_isempty(session_->imap_response_info->rsp_expunged);
    if (expunged || (info != nullptr && info->sel_exists != exists_before))
      *outcome = ImapWaitOutcome::kServerSpoke;
    return ImapOk();
  }

  ImapResult result = StartIdle();
  if (!result.ok())
    return result;
  if (IdleHasNews()) {
    *outcome = ImapWaitOutcome::kServerSpoke;
  } else {
    struct pollfd waits[2] = {{WaitDescriptor(), POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      const int ready = ::poll(waits, wake_fd >= 0 ? 2 : 1,
                               static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30)));
      if (ready < 0 && errno == EINTR)
        continue;
      if (ready > 0 && waits[0].revents != 0)
        *outcome = ImapWaitOutcome::kServerSpoke;
      else if (ready > 0)
        *outcome = ImapWaitOutcome::kWoken;
      break;
    }
  }
  return FinishIdle();
}

ImapResult ImapClient::StartIdle() {
  VARNOX_IMAP_REQUIRE_CONNECTION();
  link_->SetBudget(options_.answer_budget);
  const int code = mailimap_idle(session_);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "IDLE");
  idling_ = true;
  return ImapOk();
}

bool ImapClient::IdleHasNews() const {
  // Bytes that came with the server's "+ idling" are already in libetpan's
  // buffer, or in TLS's: no need to wait for the socket then.
  return idling_ && session_ != nullptr &&
         (session_->imap_stream->read_buffer_len > 0 || link_->stream()->HasBuffered());
}

ImapResult ImapClient::FinishIdle() {
  if (!idling_)
    return ImapOk();
  idling_ = false;
  const int code = mailimap_idle_done(session_);
  if (code != MAILIMAP_NO_ERROR)
    return Failure(code, "IDLE");
  return ImapOk();
}

int ImapClient::WaitDescriptor() const {
  return link_ != nullptr && link_->stream() != nullptr ? link_->stream()->WaitDescriptor() : -1;
}

void ImapClient::Logout() {
  if (session_ != nullptr && FinishIdle().ok()) {
    link_->SetBudget(kSmallAnswerBytes);
    mailimap_logout(session_);
  }
  Close();
}

}  // namespace varnox
