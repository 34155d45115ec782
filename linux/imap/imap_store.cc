#include "linux/imap/imap_store.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <mutex>
#include <set>
#include <thread>

#include "linux/imap/imap_store_state.h"
#include "linux/imap/mailbox_name.h"
#include "linux/imap/password_source.h"
#include "mime/content_key.h"
#include "mime/mime_reader.h"
#include "platform/code_page.h"
#include "platform/utf8.h"

namespace varnox {

// A connection being made on a thread of its own: the password read (a
// password command may wait for its user) and the client connected, TLS
// checked and logged in. The thread touches nothing but the job, and tells
// the store through its own copy of the store's event descriptor, so a
// store gone meanwhile leaves it nothing to touch.
struct ConnectJob {
  std::mutex mutex;
  bool done = false;
  std::unique_ptr<ImapClient> client;
  ImapResult result;
  std::thread thread;
};

namespace {

constexpr char kInbox[] = "INBOX";
constexpr std::string_view kCatchUpPrefix = "catchup ";
constexpr std::string_view kCopiesPrefix = "copies ";
// A message that arrived up to this long before the last run's watermark is
// still looked at by a catch-up that goes by dates (as on Maildir).
constexpr std::int64_t kCatchUpSlackNs = 60'000'000'000;

std::string Seconds(std::chrono::milliseconds wait) {
  const long long tenths = (wait.count() + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") +
         " s";
}

// The message with `appended` at the end of its header block, in its own
// line ends, every other byte as it was: the Maildir store's rule.
std::string Stamped(std::string_view raw, std::string_view appended) {
  const mime::HeaderBlock block = mime::FindHeaderBlock(raw);
  return mime::HeaderPrefixWith(raw, block, appended) + std::string(raw.substr(block.end));
}

// The day before the one holding `ns` (UTC): IMAP's SINCE goes by days, in
// whatever zone the server keeps dates.
ImapDate DayBefore(std::int64_t ns) {
  const std::int64_t days = ns / 1'000'000'000 / 86400 - 1;
  // Civil date from days since 1970 (proleptic Gregorian).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  ImapDate date;
  date.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
  return date;
}

// The journal's notes; none without a journal.
const std::map<std::string, std::string, std::less<>>& NotesOf(const ImapStore::State& state) {
  static const std::map<std::string, std::string, std::less<>> kNone;
  return state.options.journal != nullptr ? state.options.journal->Notes() : kNone;
}

std::int64_t DateNs(const std::optional<ImapDate>& date) {
  return date ? ImapDateToUnixTime(*date) * 1'000'000'000 : 0;
}

}  // namespace

// --- UidRuns

void UidRuns::Add(std::uint32_t uid) {
  auto after = runs_.upper_bound(uid);
  if (after != runs_.begin()) {
    auto run = std::prev(after);
    if (uid <= run->second)
      return;
    if (uid == run->second + 1) {
      run->second = uid;
      if (after != runs_.end() && after->first == uid + 1) {
        run->second = after->second;
        runs_.erase(after);
      }
      return;
    }
  }
  if (after != runs_.end() && after->first == uid + 1) {
    const std::uint32_t last = after->second;
    runs_.erase(after);
    runs_[uid] = last;
    return;
  }
  runs_[uid] = uid;
}

bool UidRuns::Contains(std::uint32_t uid) const {
  auto after = runs_.upper_bound(uid);
  return after != runs_.begin() && uid <= std::prev(after)->second;
}

void UidRuns::DropBelow(std::uint32_t uid) {
  while (!runs_.empty() && runs_.begin()->first < uid) {
    const auto run = runs_.begin();
    const std::uint32_t last = run->second;
    runs_.erase(run);
    if (last >= uid)
      runs_[uid] = last;
  }
}

std::vector<std::uint32_t> UidRuns::Uids() const {
  std::vector<std::uint32_t> uids;
  for (const auto& [first, last] : runs_) {
    for (std::uint64_t uid = first; uid <= last; ++uid)
      uids.push_back(static_cast<std::uint32_t>(uid));
  }
  return uids;
}

std::string UidRuns::Encode() const {
  std::string text;
  for (const auto& [first, last] : runs_) {
    if (!text.empty())
      text += ' ';
    text += std::to_string(first);
    if (last != first)
      text += '-' + std::to_string(last);
  }
  return text;
}

bool UidRuns::Decode(std::string_view text) {
  runs_.clear();
  while (!text.empty()) {
    const std::size_t end = text.find(' ');
    std::string_view run = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (end != std::string_view::npos && text.empty()) {
      runs_.clear();  // a trailing space: not what Encode writes
      return false;
    }
    const std::size_t dash = run.find('-');
    std::uint32_t first = 0, last = 0;
    const std::string_view a = run.substr(0, dash);
    const std::string_view b = dash == std::string_view::npos ? a : run.substr(dash + 1);
    const auto [pa, ea] = std::from_chars(a.data(), a.data() + a.size(), first);
    const auto [pb, eb] = std::from_chars(b.data(), b.data() + b.size(), last);
    if (a.empty() || b.empty() || ea != std::errc() || eb != std::errc() ||
        pa != a.data() + a.size() || pb != b.data() + b.size() || first == 0 || last < first) {
      runs_.clear();
      return false;
    }
    for (const auto& [f, l] : runs_) {
      if (first <= l && f <= last) {
        runs_.clear();
        return false;
      }
    }
    runs_[first] = last;
  }
  return true;
}

// --- The state

ImapStore::State::State(ImapAccount given_account, ImapStoreOptions given_options)
    : account(std::move(given_account)), options(std::move(given_options)) {
  stores.push_back(ImapStore::StoreName(account.name));
  for (const std::string& name : account.folders) {
    std::string wire;
    if (code_page::EqualsIgnoreCase(name, kInbox))
      wire = kInbox;
    else if (!EncodeMailboxName(name, &wire))
      continue;  // the account file refuses such names
    if (std::find(watched.begin(), watched.end(), wire) == watched.end())
      watched.push_back(wire);
  }
  if (!account.spam_folder_junk)
    EncodeMailboxName(account.spam_folder, &spam);
  epoll_fd = ::epoll_create1(EPOLL_CLOEXEC);
  event_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_fd >= 0 && event_fd >= 0) {
    epoll_event event = {};
    event.events = EPOLLIN;
    event.data.fd = event_fd;
    ::epoll_ctl(epoll_fd, EPOLL_CTL_ADD, event_fd, &event);
  }
  seed = static_cast<std::uint64_t>(ImapClock::now().time_since_epoch().count()) ^
         static_cast<std::uint64_t>(::getpid());
}

ImapStore::State::~State() {
  for (auto& link : links) {
    // A connection still being made is left to its thread, which ends on
    // its own; what it made is dropped there.
    if (link->job != nullptr && link->job->thread.joinable())
      link->job->thread.detach();
    if (link->client != nullptr)
      link->client->Logout();
  }
  if (event_fd >= 0)
    ::close(event_fd);
  if (epoll_fd >= 0)
    ::close(epoll_fd);
}

void ImapStore::State::Wake() {
  const std::uint64_t one = 1;
  if (event_fd >= 0 && ::write(event_fd, &one, sizeof one) < 0) {
    // Already readable (the counter is full): woken all the same.
  }
}

void ImapStore::State::Tell(const std::string& text) const {
  if (options.tell)
    options.tell(stores.front() + ": " + text);
}

ImapLink& ImapStore::State::LinkOf(const std::string& folder) {
  for (auto& link : links) {
    if (link->folder == folder)
      return *link;
  }
  links.push_back(std::make_unique<ImapLink>(folder, options, seed + links.size()));
  return *links.back();
}

void ImapStore::State::SetNote(const std::string& key, const std::string& value) {
  if (options.journal != nullptr)
    options.journal->SetNote(key, value);
}

std::optional<FolderMark> ImapStore::State::MarkOf(const std::string& folder) const {
  if (options.journal == nullptr)
    return std::nullopt;
  const auto& notes = options.journal->Notes();
  const auto it = notes.find(FolderMarkKey(folder));
  FolderMark mark;
  if (it == notes.end() || !DecodeFolderMark(it->second, &mark))
    return std::nullopt;
  return mark;
}

std::string ImapStore::State::DisplayName(const std::string& wire) const {
  if (!spam.empty() && wire == spam)
    return "SpamFilter";
  if (code_page::EqualsIgnoreCase(wire, kInbox))
    return "Inbox";
  std::string name;
  if (!DecodeMailboxName(wire, &name))
    name = wire;
  return utf8::ToCodePage1252(name);
}

HResult ImapStore::State::Failure(ImapClient& client, const ImapResult& result) {
  for (auto& link : links) {
    if (link->client.get() == &client && !client.connected())
      link->failure = result;
  }
  return kEFail;
}

void ImapStore::State::Lost(ImapLink& link) {
  if (link.watched_fd >= 0) {
    ::epoll_ctl(epoll_fd, EPOLL_CTL_DEL, link.watched_fd, nullptr);
    link.watched_fd = -1;
  }
  link.client.reset();
  if (link.failure.ok())
    link.failure = ImapFailure(ImapStatus::kNetwork, "the connection was lost");
  if (link.failure.permanent()) {
    Stop(link.failure.text);
    return;
  }
  const std::chrono::milliseconds wait = link.backoff.Next();
  link.retry_at = ImapClock::now() + wait;
  if (!link.lost_told)
    Tell(DisplayName(link.folder.empty() ? kInbox : link.folder) + ": " + link.failure.text +
         "; trying again in " + Seconds(wait));
  link.lost_told = true;
  link.failure = ImapOk();
}

void ImapStore::State::Stop(const std::string& why) {
  if (!stopped.empty())
    return;
  stopped = why;
  for (auto& link : links) {
    if (link->watched_fd >= 0)
      ::epoll_ctl(epoll_fd, EPOLL_CTL_DEL, link->watched_fd, nullptr);
    link->watched_fd = -1;
    link->client.reset();
  }
  Tell("stopped: " + why + "; it is not tried again until Varnox starts again");
}

ImapResult ImapStore::State::FindFolders(ImapClient& client) {
  ImapResult result = client.ListFolders(&listed);
  if (!result.ok())
    return result;
  if (account.spam_folder_junk) {
    const auto junk = std::find_if(listed.begin(), listed.end(), [](const ImapFolder& folder) {
      return folder.Has("\\Junk") && !folder.Has("\\Noselect") && NoteCanName(folder.wire_name);
    });
    if (junk == listed.end())
      return ImapFailure(ImapStatus::kAccount,
                         "the server marks no folder as \\Junk (spam-folder = \\Junk)");
    spam = junk->wire_name;
    return ImapOk();
  }
  const bool there = std::any_of(listed.begin(), listed.end(), [&](const ImapFolder& folder) {
    return folder.wire_name == spam;
  });
  if (there)
    return ImapOk();
  result = client.CreateFolder(spam);
  if (result.ok())
    result = client.ListFolders(&listed);
  return result;
}

ImapClient* ImapStore::State::ClientFor(const std::string& folder, std::uint32_t validity,
                                        ImapResult* result, std::uint32_t* selected_validity) {
  // The folder's own connection first, then the command's, then any.
  ImapLink* chosen = nullptr;
  for (auto& link : links) {
    if (link->connected() && !folder.empty() && link->folder == folder)
      chosen = link.get();
  }
  for (auto& link : links) {
    if (chosen == nullptr && link->connected() && link->folder.empty())
      chosen = link.get();
  }
  for (auto& link : links) {
    if (chosen == nullptr && link->connected())
      chosen = link.get();
  }
  if (chosen == nullptr) {
    *result = ImapFailure(ImapStatus::kNetwork,
                          stopped.empty() ? "not connected to " + account.server : stopped);
    return nullptr;
  }
  ImapClient& client = *chosen->client;
  if (folder.empty() || client.selected() == folder) {
    if (selected_validity != nullptr)
      *selected_validity = chosen->folder == folder ? chosen->validity : 0;
    if (selected_validity == nullptr || *selected_validity != 0 || folder.empty()) {
      if (client.idling())
        chosen->look_now = true;  // it stops idling for this
      if (chosen->look_now)
        Wake();
      return &client;
    }
  }
  ImapFolderState state;
  *result = client.Select(folder, false, &state);
  if (chosen->folder != folder) {
    chosen->look_now = true;  // to select its own folder again
    Wake();
  }
  if (!result->ok()) {
    Failure(client, *result);
    return nullptr;
  }
  if (validity != 0 && state.uid_validity != validity) {
    *result = ImapFailure(ImapStatus::kRefused, "the folder " + DisplayName(folder) +
                                                    " was renumbered (a new UIDVALIDITY)");
    return nullptr;
  }
  if (selected_validity != nullptr)
    *selected_validity = state.uid_validity;
  return &client;
}

void ImapStore::State::OwnCopy(const std::string& folder, std::uint32_t validity,
                               std::uint32_t uid) {
  for (auto& link : links) {
    if (link->folder != folder || link->validity != validity || uid < link->next)
      continue;
    link->own_copies.Add(uid);
    SetNote(std::string(kCopiesPrefix) + folder,
            std::to_string(validity) + ' ' + link->own_copies.Encode());
  }
}

// --- Stampings (stamp_note.h)

namespace {

using State = ImapStore::State;

// Whether `destination` holds any of `uids`, from a client with `back`
// selected (it is selected again after). *held gets those it holds.
ImapResult HeldIn(ImapClient& client, const std::string& back, const std::string& destination,
                  std::uint32_t validity, const std::vector<std::uint32_t>& uids,
                  std::vector<std::uint32_t>* held) {
  held->clear();
  ImapFolderState state;
  if (destination != back) {
    ImapResult result = client.Select(destination, true, &state);
    if (!result.ok())
      return result;
    if (state.uid_validity == validity)
      result = client.SearchUids(uids, held);
    ImapResult again = client.Select(back, false, &state);
    return result.ok() ? again : result;
  }
  return client.SearchUids(uids, held);
}

// The UID of the copy `expected` of a stamping in its destination: a
// message at or above the bound, not a copy the store knows already, of the
// same size and header block. 0 when there is none.
ImapResult FindCopy(State& state, ImapClient& client, const StampNote& note,
                    const std::string& expected, std::uint32_t* copy) {
  *copy = 0;
  const std::string back = client.selected();
  ImapFolderState selected;
  const bool away = note.destination != back;
  ImapResult result = ImapOk();
  if (away)
    result = client.Select(note.destination, true, &selected);
  std::vector<std::uint32_t> uids;
  if (result.ok() && (!away || selected.uid_validity == note.destination_validity))
    result = client.SearchUidsFrom(note.destination_next, &uids);
  for (const auto& link : state.links) {
    if (link->folder == note.destination && link->validity == note.destination_validity)
      std::erase_if(uids, [&](std::uint32_t uid) { return link->own_copies.Contains(uid); });
  }
  if (result.ok() && !uids.empty()) {
    result = client.Fetch(uids, kFetchSize | kFetchHeader, [&](ImapMessage& m) {
      if (m.size == expected.size() && !m.header.empty() && expected.starts_with(m.header)) {
        *copy = m.uid;
        return false;
      }
      return true;
    });
    if (result.status == ImapStatus::kStopped)
      result = ImapOk();
  }
  if (away && client.connected()) {
    const ImapResult again = client.Select(back, false, &selected);
    if (result.ok())
      result = again;
    if (result.ok() && selected.uid_validity != note.validity)
      result = ImapFailure(ImapStatus::kRefused, "the folder was renumbered meanwhile");
  }
  return result;
}

// Carries `note` out from where it stands, each step noted before the
// next; `raw` is the original's bytes. The client has the original's
// folder selected. On success the original is gone and *copy names the
// message as it is now (its UID in the destination; 0 when not known).
ImapResult CarryOut(State& state, ImapClient& client, StampNote& note, const std::string& raw,
                    std::uint32_t* copy) {
  const std::string key = StampNoteKey(note.folder, note.validity, note.uid);
  *copy = 0;
  ImapResult result;
  if (note.keyword && note.copy_uid == 0) {
    result = client.AddFlags(note.uid, note.flags);
    if (!result.ok())
      return result;
    if (note.destination == note.folder) {
      state.SetNote(key, "");
      *copy = note.uid;
      return ImapOk();
    }
    if (client.HasCapability("MOVE")) {
      result = client.Move(note.uid, note.destination, copy);
      if (result.ok()) {
        state.SetNote(key, "");
        if (*copy != 0)
          state.OwnCopy(note.destination, note.destination_validity, *copy);
      }
      return result;
    }
  }
  const std::string expected = note.keyword ? raw : Stamped(raw, note.appended);
  // A copy made before a cut is found rather than made again.
  if (note.copy_uid == 0 && note.destination_next != 0) {
    result = FindCopy(state, client, note, expected, &note.copy_uid);
    if (!result.ok())
      return result;
  }
  if (note.copy_uid == 0) {
    auto& bound = state.copy_bounds[note.destination];
    if (bound.first == 0) {
      ImapFolderStatus status;
      result = client.Status(note.destination, &status);
      if (!result.ok())
        return result;
      bound = {status.uid_validity, status.uid_next};
    }
    note.destination_validity = bound.first;
    note.destination_next = bound.second;
    state.SetNote(key, EncodeStampNote(note));
    std::uint32_t made = 0;
    result = note.keyword ? client.Copy(note.uid, note.destination, &made)
                          : client.Append(note.destination, expected, note.flags, note.date, &made);
    if (!result.ok())
      return result;
    if (made == 0) {
      result = FindCopy(state, client, note, expected, &made);
      if (!result.ok())
        return result;
      if (made == 0)
        return ImapFailure(
            ImapStatus::kRefused,
            "the copy made in " + state.DisplayName(note.destination) + " cannot be found");
    }
    note.copy_uid = made;
    bound.second = std::max(bound.second, made + 1);
    state.SetNote(key, EncodeStampNote(note));
  }
  state.OwnCopy(note.destination, note.destination_validity, note.copy_uid);
  result = client.Expunge({note.uid});
  if (!result.ok())
    return result;
  state.SetNote(key, "");
  *copy = note.copy_uid;
  return ImapOk();
}

// The stampings left under way in the folder the client has selected
// (UIDVALIDITY `validity`) are finished: a cut or a stop in the middle
// leaves the original, or both, and the note says which.
ImapResult Settle(State& state, ImapClient& client, const std::string& folder,
                  std::uint32_t validity) {
  if (state.options.journal == nullptr)
    return ImapOk();
  std::vector<StampNote> notes;
  for (const auto& [key, value] : state.options.journal->Notes()) {
    StampNote note;
    if (IsStampNoteKey(key) && DecodeStampNote(key, value, &note) && note.folder == folder)
      notes.push_back(std::move(note));
  }
  for (StampNote& note : notes) {
    const std::string key = StampNoteKey(note.folder, note.validity, note.uid);
    std::vector<std::uint32_t> held;
    ImapResult result = ImapOk();
    if (note.validity == validity)
      result = client.SearchUids({note.uid}, &held);
    if (!result.ok())
      return result;
    if (held.empty()) {
      // Removed already (the stamping was over but for its note), or
      // renumbered beyond recognition, or removed by the user.
      state.SetNote(key, "");
      continue;
    }
    std::string raw;
    bool too_large = false;
    result = client.Fetch({note.uid}, kFetchContent, [&](ImapMessage& m) {
      raw = std::move(m.content);
      too_large = m.too_large;
      return true;
    });
    if (!result.ok())
      return result;
    if (too_large) {
      state.SetNote(key, "");
      continue;
    }
    if (note.copy_uid != 0) {
      std::vector<std::uint32_t> copy;
      result = HeldIn(client, folder, note.destination, note.destination_validity, {note.copy_uid},
                      &copy);
      if (!result.ok())
        return result;
      if (copy.empty())
        note.copy_uid = 0;  // gone since: made again
    }
    std::uint32_t now = 0;
    result = CarryOut(state, client, note, raw, &now);
    if (!result.ok())
      return result;
    state.Tell(state.DisplayName(folder) + ": a stamping left under way (UID " +
               std::to_string(note.uid) + ") was finished");
  }
  return ImapOk();
}

}  // namespace

HResult ImapStore::State::Save(ImapMessageState& message, std::string_view appended) {
  if (!message.have_raw)
    return kMapiENotFound;
  const ImapVerdict verdict =
      options.verdict_of ? options.verdict_of(appended) : ImapVerdict::kNotSpam;
  StampNote note;
  if (message.pending) {
    // Saved twice before the move: the second text follows the first.
    note = *message.pending;
    if (!note.keyword)
      note.appended += appended;
  } else {
    note.folder = message.folder;
    note.validity = message.validity;
    note.uid = message.uid;
    note.keyword = account.mark == ImapVerdictMark::kKeyword;
    note.destination = verdict == ImapVerdict::kNotSpam ? message.folder : spam;
    note.flags = note.keyword ? VerdictKeywords(verdict) : message.flags;
    note.date = message.date;
    if (!note.keyword)
      note.appended = appended;
  }
  if (!NoteCanName(note.folder) || !NoteCanName(note.destination))
    return kEInvalidArg;
  // The note is the stamp's commitment: written before anything is sent.
  if (options.journal != nullptr &&
      !options.journal->SetNote(StampNoteKey(note.folder, note.validity, note.uid),
                                EncodeStampNote(note)))
    return kEFail;
  message.pending = note;
  if (note.destination != message.folder)
    return kSOk;  // carried out with the move that follows
  return Carry(message);
}

HResult ImapStore::State::Carry(ImapMessageState& message) {
  if (!message.pending)
    return kSOk;
  StampNote& note = *message.pending;
  ImapResult result;
  ImapClient* client = ClientFor(note.folder, note.validity, &result, nullptr);
  if (client == nullptr)
    return kEFail;  // the note stays: finished once the connection is back
  std::uint32_t copy = 0;
  result = CarryOut(*this, *client, note, message.raw, &copy);
  if (!result.ok())
    return Failure(*client, result);
  if (!note.keyword)
    message.raw = Stamped(message.raw, note.appended);
  if (note.keyword || note.destination != message.folder || !note.flags.empty())
    message.flags = note.keyword ? message.flags : note.flags;
  if (note.destination != message.folder || !note.keyword) {
    message.folder = note.destination;
    message.validity = note.destination_validity;
    message.uid = copy;
  }
  message.pending.reset();
  return kSOk;
}

HResult ImapStore::State::MoveMessage(ImapMessageState& message, const std::string& destination) {
  if (message.pending) {
    if (message.pending->destination != destination) {
      message.pending->destination = destination;
      SetNote(StampNoteKey(message.folder, message.validity, message.uid),
              EncodeStampNote(*message.pending));
    }
    return Carry(message);
  }
  if (destination == message.folder)
    return kSOk;
  ImapResult result;
  ImapClient* client = ClientFor(message.folder, message.validity, &result, nullptr);
  if (client == nullptr)
    return kEFail;
  std::uint32_t moved = 0;
  result = client->Move(message.uid, destination, &moved);
  if (!result.ok())
    return Failure(*client, result);
  message.folder = destination;
  message.validity = 0;
  message.uid = moved;
  return kSOk;
}

HResult ImapStore::State::MarkRead(ImapMessageState& message) {
  if (std::find(message.flags.begin(), message.flags.end(), "\\Seen") == message.flags.end())
    message.flags.push_back("\\Seen");
  if (message.pending) {
    // The copy is made read, or the mark comes with the keywords.
    std::vector<std::string>& flags = message.pending->flags;
    if (std::find(flags.begin(), flags.end(), "\\Seen") == flags.end())
      flags.push_back("\\Seen");
    SetNote(StampNoteKey(message.folder, message.validity, message.uid),
            EncodeStampNote(*message.pending));
    return kSOk;
  }
  ImapResult result;
  ImapClient* client = ClientFor(message.folder, message.validity, &result, nullptr);
  if (client == nullptr)
    return kEFail;
  result = client->AddFlags(message.uid, {"\\Seen"});
  return result.ok() ? kSOk : Failure(*client, result);
}

// --- Watching

namespace {

void StartConnecting(State& state, ImapLink& link) {
  auto job = std::make_shared<ConnectJob>();
  const int notify = ::dup(state.event_fd);
  job->thread =
      std::thread([job, notify, account = state.account, options = state.options.client]() {
        auto client = std::make_unique<ImapClient>(options);
        SecretText password;
        std::string error;
        ImapResult result = ReadAccountPassword(account, &password, &error)
                                ? client->Connect(account, password)
                                : ImapFailure(ImapStatus::kAccount, error);
        password.Clear();
        {
          std::lock_guard<std::mutex> lock(job->mutex);
          job->client = std::move(client);
          job->result = std::move(result);
          job->done = true;
        }
        const std::uint64_t one = 1;
        if (notify >= 0) {
          if (::write(notify, &one, sizeof one) < 0) {
            // The store is gone, or its counter full: nothing to tell.
          }
          ::close(notify);
        }
      });
  link.job = std::move(job);
}

// The message as the catch-up policy sees it.
host::CatchUpCandidate CandidateOf(const State& state, const ImapLink& link, const ImapMessage& m,
                                   std::optional<bool> arrived) {
  host::CatchUpCandidate candidate;
  candidate.identity.store = state.stores.front();
  candidate.identity.unique = ImapUnique(link.folder, link.validity, m.uid);
  candidate.identity.content_key = mime::ContentKey(m.content);
  candidate.in_new = m.recent;
  candidate.modified_ns = DateNs(m.internal_date);
  candidate.arrived_since = arrived;
  const mime::HeaderBlock block = mime::FindHeaderBlock(m.content);
  candidate.header_block = m.content.substr(block.start, block.end - block.start);
  return candidate;
}

// How far the link's folder was read: `next` in memory and in the journal,
// and the store's own copies below it forgotten.
void Advance(State& state, ImapLink& link, std::uint32_t next) {
  if (next <= link.next && link.next != 1)
    return;
  link.next = std::max(link.next, next);
  state.SetNote(FolderMarkKey(link.folder), EncodeFolderMark({link.validity, link.next}));
  if (!link.own_copies.empty()) {
    const std::string before = link.own_copies.Encode();
    link.own_copies.DropBelow(link.next);
    if (link.own_copies.Encode() != before)
      state.SetNote(std::string(kCopiesPrefix) + link.folder,
                    link.own_copies.empty()
                        ? ""
                        : std::to_string(link.validity) + ' ' + link.own_copies.Encode());
  }
}

// Announces the messages `uids` of the link's folder (fetched whole, in
// batches), each once, and moves the link's mark past each. With `policy`
// (a catch-up) only those the policy chooses are announced; the others are
// passed over. The number announced.
int Announce(State& state, ImapLink& link, const std::vector<std::uint32_t>& uids, bool advance,
             ImapResult* result) {
  int delivered = 0;
  std::vector<std::uint32_t> wanted;
  for (std::uint32_t uid : uids) {
    if (!link.own_copies.Contains(uid))
      wanted.push_back(uid);
  }
  *result = link.client->Fetch(
      wanted, kFetchFlags | kFetchInternalDate | kFetchContent, [&](ImapMessage& m) {
        if (!m.too_large)
          delivered += state.Deliver(link, m);
        else
          state.Tell(state.DisplayName(link.folder) + ": message UID " + std::to_string(m.uid) +
                     " is too large to judge (" + std::to_string(m.size) + " bytes)");
        if (advance && link.connected())
          Advance(state, link, m.uid + 1);
        return link.connected();
      });
  if (result->status == ImapStatus::kStopped)
    *result = link.failure.ok() ? ImapFailure(ImapStatus::kNetwork, "the connection was lost")
                                : link.failure;
  if (result->ok() && advance && !uids.empty())
    Advance(state, link, uids.back() + 1);
  return delivered;
}

// The folder's first reading in this run, or after it was renumbered: what
// arrived while nothing watched, as the policy chooses it. With a mark of
// the same UIDVALIDITY, everything from the mark on arrived since; else
// (the first start, a renumbered folder, a folder newly watched) the
// messages marked \Recent (which this read-write selection takes: a server
// shows it to one session only, never under EXAMINE) or dated from a day
// before the last watermark are looked at, and those chosen are noted
// before any is announced, so that a stop in the middle goes on with them.
int CatchUpFolder(State& state, ImapLink& link, const ImapFolderState& selected,
                  ImapResult* result) {
  ImapClient& client = *link.client;
  const std::string catch_up_key = std::string(kCatchUpPrefix) + link.folder;
  int delivered = 0;
  const std::optional<FolderMark> mark = state.MarkOf(link.folder);
  if (mark && mark->validity == selected.uid_validity) {
    std::vector<std::uint32_t> uids;
    *result = client.SearchUidsFrom(mark->next, &uids);
    if (!result->ok())
      return 0;
    link.next = mark->next;
    std::vector<std::uint32_t> chosen;
    *result =
        client.Fetch(uids, kFetchFlags | kFetchInternalDate | kFetchContent, [&](ImapMessage& m) {
          if (!m.too_large && !link.own_copies.Contains(m.uid) &&
              state.policy(CandidateOf(state, link, m, true)))
            delivered += state.Deliver(link, m);
          Advance(state, link, m.uid + 1);
          return link.connected();
        });
    if (result->status == ImapStatus::kStopped)
      *result = ImapFailure(ImapStatus::kNetwork, "the connection was lost");
  } else {
    UidRuns chosen;
    const auto& notes = NotesOf(state);
    const auto left = notes.find(catch_up_key);
    std::uint32_t noted_validity = 0;
    if (left != notes.end()) {
      std::string_view text = left->second;
      const std::size_t space = text.find(' ');
      const std::string_view validity = text.substr(0, space);
      std::from_chars(validity.data(), validity.data() + validity.size(), noted_validity);
      if (noted_validity != selected.uid_validity ||
          !chosen.Decode(space == std::string_view::npos ? "" : text.substr(space + 1)))
        noted_validity = 0;
    }
    if (noted_validity == 0) {
      std::vector<std::uint32_t> uids;
      const std::optional<std::int64_t> watermark =
          state.options.journal != nullptr ? state.options.journal->Watermark() : std::nullopt;
      if (result->ok())
        *result = client.SearchRecentOrSince(
            watermark ? std::optional(DayBefore(*watermark - kCatchUpSlackNs)) : std::nullopt,
            &uids);
      if (result->ok())
        *result = client.Fetch(
            uids, kFetchFlags | kFetchInternalDate | kFetchContent, [&](ImapMessage& m) {
              if (!m.too_large && state.policy(CandidateOf(state, link, m, std::nullopt)))
                chosen.Add(m.uid);
              return true;
            });
      if (!result->ok())
        return 0;
      state.SetNote(catch_up_key, std::to_string(selected.uid_validity) +
                                      (chosen.empty() ? "" : " ") + chosen.Encode());
    }
    for (const std::uint32_t uid : chosen.Uids()) {
      std::vector<std::uint32_t> one = {uid};
      delivered += Announce(state, link, one, false, result);
      if (!result->ok())
        return delivered;
      UidRuns rest = chosen;
      rest.DropBelow(uid + 1);
      chosen = rest;
      state.SetNote(catch_up_key, std::to_string(selected.uid_validity) +
                                      (chosen.empty() ? "" : " ") + chosen.Encode());
    }
    state.SetNote(catch_up_key, "");
    link.next = 1;
  }
  if (result->ok() && link.connected()) {
    Advance(state, link, selected.uid_next);
    link.caught_up = true;
  }
  return delivered;
}

// Reads what is new in the link's folder and announces it, then waits
// again (IDLE, or the next look). The number announced.
int Service(State& state, ImapLink& link) {
  link.look_now = false;
  ImapClient& client = *link.client;
  const bool idled = client.idling();
  ImapResult result = client.FinishIdle();
  int delivered = 0;
  ImapFolderState selected;
  const bool fresh = client.selected() != link.folder;
  // A server tells of new mail at the end of a command (or in IDLE): a
  // search alone would look at the folder as it was.
  if (result.ok() && !fresh && !idled)
    result = client.Noop();
  if (result.ok() && fresh)
    result = client.Select(link.folder, false, &selected);
  if (result.ok() && fresh) {
    if (!link.caught_up || selected.uid_validity != link.validity) {
      if (link.validity != selected.uid_validity) {
        link.own_copies = UidRuns();
        const auto& notes = NotesOf(state);
        const auto copies = notes.find(std::string(kCopiesPrefix) + link.folder);
        if (copies != notes.end() &&
            copies->second.starts_with(std::to_string(selected.uid_validity) + ' '))
          link.own_copies.Decode(
              std::string_view(copies->second).substr(copies->second.find(' ') + 1));
      }
      link.validity = selected.uid_validity;
      link.caught_up = false;
      result = Settle(state, client, link.folder, link.validity);
      if (result.ok())
        delivered += CatchUpFolder(state, link, selected, &result);
    } else {
      result = Settle(state, client, link.folder, link.validity);
    }
  }
  if (result.ok() && link.caught_up && client.connected()) {
    std::vector<std::uint32_t> uids;
    result = client.SearchUidsFrom(link.next, &uids);
    if (result.ok())
      delivered += Announce(state, link, uids, true, &result);
  }
  if (result.ok() && client.connected() && client.selected() != link.folder)
    result = client.Select(link.folder, false, &selected);
  if (result.ok() && client.connected()) {
    const auto now = ImapClock::now();
    if (client.HasCapability("IDLE")) {
      result = client.StartIdle();
      link.idle_started = now;
      if (client.IdleHasNews())
        link.look_now = true;
    } else {
      link.next_look = now + std::chrono::seconds(state.account.poll_seconds);
    }
  }
  if (!result.ok() && link.failure.ok())
    link.failure = result;
  if (!client.connected() || (!result.ok() && result.disconnected()))
    state.Lost(link);
  else if (!result.ok())
    state.Tell(state.DisplayName(link.folder) + ": " + result.text);
  return delivered;
}

// A connection made on its thread joins its link.
void TakeConnection(State& state, ImapLink& link) {
  std::shared_ptr<ConnectJob> job = std::move(link.job);
  if (job->thread.joinable())
    job->thread.join();
  link.client = std::move(job->client);
  link.failure = job->result;
  if (!link.failure.ok() || link.client == nullptr || !link.client->connected()) {
    state.Lost(link);
    return;
  }
  ImapResult found = state.FindFolders(*link.client);
  if (!found.ok()) {
    link.failure = found;
    state.Lost(link);
    return;
  }
  link.failure = ImapOk();
  link.backoff.Reset();
  if (link.lost_told)
    state.Tell(state.DisplayName(link.folder) + ": connected again");
  link.lost_told = false;
  link.watched_fd = link.client->WaitDescriptor();
  epoll_event event = {};
  event.events = EPOLLIN;
  event.data.fd = link.watched_fd;
  ::epoll_ctl(state.epoll_fd, EPOLL_CTL_ADD, link.watched_fd, &event);
  link.look_now = true;
}

}  // namespace

int ImapStore::State::Deliver(ImapLink& link, ImapMessage& m) {
  auto message = std::make_shared<ImapMessageState>();
  message->folder = link.folder;
  message->validity = link.validity;
  message->uid = m.uid;
  message->flags = std::move(m.flags);
  message->date = m.internal_date;
  message->raw = std::move(m.content);
  message->have_raw = true;
  message->content_key = mime::ContentKey(message->raw);
  delivering = message;
  int delivered = 0;
  std::vector<Sink> told;
  std::copy_if(sinks.begin(), sinks.end(), std::back_inserter(told),
               [&](const Sink& sink) { return sink.folder == link.folder; });
  for (const Sink& sink : told) {
    const bool live = std::any_of(sinks.begin(), sinks.end(),
                                  [&](const Sink& s) { return s.cookie == sink.cookie; });
    if (!live)
      continue;
    sink.sink->OnItemAdd(MakeImapItem(shared_from_this(), message));
    ++delivered;
  }
  // A stamp saved for a move that never came goes to its folder now.
  if (message->pending)
    Carry(*message);
  delivering.reset();
  return delivered;
}

std::vector<std::string> VerdictKeywords(ImapVerdict verdict) {
  switch (verdict) {
    case ImapVerdict::kNotSpam:
      return {"$NotJunk", "VNX-NotSpam"};
    case ImapVerdict::kSpam:
      return {"$Junk", "VNX-Spam"};
    case ImapVerdict::kNonEnglishSpam:
      return {"$Junk", "VNX-NonEnglishSpam"};
    case ImapVerdict::kBlackList:
      return {"$Junk", "VNX-BlackList"};
  }
  return {};
}

// --- ImapStore

ImapStore::ImapStore(ImapAccount account, ImapStoreOptions options)
    : state_(std::make_shared<State>(std::move(account), std::move(options))) {
  state_->policy = [](const host::CatchUpCandidate& candidate) { return candidate.in_new; };
}

ImapStore::~ImapStore() = default;

std::string ImapStore::StoreName(const std::string& account) {
  return "imap:" + account;
}

const ImapAccount& ImapStore::account() const {
  return state_->account;
}

const std::string& ImapStore::stopped() const {
  return state_->stopped;
}

ImapResult ImapStore::Open() {
  ImapLink& link = state_->LinkOf("");
  if (link.connected())
    return ImapOk();
  link.client = std::make_unique<ImapClient>(state_->options.client);
  SecretText password;
  std::string error;
  if (!ReadAccountPassword(state_->account, &password, &error))
    return ImapFailure(ImapStatus::kAccount, error);
  ImapResult result = link.client->Connect(state_->account, password);
  password.Clear();
  if (result.ok())
    result = state_->FindFolders(*link.client);
  if (!result.ok())
    link.client.reset();
  return result;
}

ImapResult ImapStore::ReadFolder(const std::string& name,
                                 const std::function<bool(std::uint32_t, std::string&)>& each,
                                 int* too_large) {
  *too_large = 0;
  std::string wire;
  if (code_page::EqualsIgnoreCase(name, kInbox))
    wire = kInbox;
  else if (!EncodeMailboxName(name, &wire))
    return ImapFailure(ImapStatus::kRefused, "'" + name + "' cannot be a folder's name");
  ImapLink& link = state_->LinkOf("");
  if (!link.connected())
    return ImapFailure(ImapStatus::kNetwork, "not connected to " + state_->account.server);
  ImapFolderState selected;
  ImapResult result = link.client->Select(wire, true, &selected);
  std::vector<std::uint32_t> uids;
  if (result.ok())
    result = link.client->SearchUidsFrom(1, &uids);
  if (!result.ok())
    return result;
  result = link.client->Fetch(uids, kFetchContent, [&](ImapMessage& m) {
    if (m.too_large) {
      ++*too_large;
      return true;
    }
    return each(m.uid, m.content);
  });
  return result;
}

const std::vector<std::string>& ImapStore::stores() const {
  return state_->stores;
}

std::unique_ptr<host::Application> ImapStore::ApplicationRef() {
  return MakeImapApplication(state_);
}

int ImapStore::WatchDescriptor() const {
  return state_->epoll_fd;
}

int ImapStore::CatchUp() {
  if (state_->options.watch)
    state_->Wake();  // the watched folders' connections are begun at the next Poll
  return 0;
}

void ImapStore::SetCatchUpPolicy(host::CatchUpPolicy policy) {
  if (policy)
    state_->policy = std::move(policy);
}

const host::MessageIdentity* ImapStore::Delivering() const {
  const std::shared_ptr<ImapMessageState>& message = state_->delivering;
  if (message == nullptr)
    return nullptr;
  host::MessageIdentity& identity = state_->delivering_identity;
  identity.store = state_->stores.front();
  identity.unique = ImapUnique(message->folder, message->validity, message->uid);
  identity.path.clear();
  identity.content_key = message->content_key;
  return &identity;
}

bool ImapStore::CaughtUp(const std::string&) const {
  if (!state_->stopped.empty())
    return false;
  return std::all_of(state_->links.begin(), state_->links.end(),
                     [](const auto& link) { return link->folder.empty() || link->caught_up; });
}

int ImapStore::Connections() const {
  return static_cast<int>(std::count_if(state_->links.begin(), state_->links.end(),
                                        [](const auto& link) { return link->connected(); }));
}

int ImapStore::Poll(int timeout_ms) {
  State& state = *state_;
  const auto now = ImapClock::now();
  // The nearest moment something is due.
  std::optional<ImapClock::time_point> due;
  auto consider = [&](ImapClock::time_point at) { due = due ? std::min(*due, at) : at; };
  for (const auto& link : state.links) {
    if (link->folder.empty() || !state.options.watch)
      continue;
    if (link->look_now || (link->connected() && link->client->IdleHasNews()))
      consider(now);
    else if (link->connected() && link->client->idling())
      consider(link->idle_started + state.options.idle_renewal);
    else if (link->connected())
      consider(link->next_look);
    else if (link->job == nullptr && state.stopped.empty())
      consider(link->retry_at);
  }
  int wait = timeout_ms;
  if (due) {
    const long long until =
        std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(*due - now).count());
    wait = wait < 0 ? static_cast<int>(std::min<long long>(until, 1 << 30))
                    : static_cast<int>(std::min<long long>(wait, until));
  }
  epoll_event events[16];
  int ready = state.epoll_fd >= 0 ? ::epoll_wait(state.epoll_fd, events, 16, wait) : 0;
  std::set<int> readable;
  for (int i = 0; i < ready; ++i) {
    if (events[i].data.fd == state.event_fd) {
      std::uint64_t count = 0;
      if (::read(state.event_fd, &count, sizeof count) < 0) {
        // Nothing was there after all.
      }
    } else {
      readable.insert(events[i].data.fd);
    }
  }
  if (!state.options.watch)
    return 0;
  int delivered = 0;
  const auto then = ImapClock::now();
  for (std::size_t i = 0; i < state.links.size(); ++i) {
    ImapLink& link = *state.links[i];
    if (link.folder.empty())
      continue;
    if (link.job != nullptr) {
      bool done = false;
      {
        std::lock_guard<std::mutex> lock(link.job->mutex);
        done = link.job->done;
      }
      if (done && state.stopped.empty())
        TakeConnection(state, link);
    }
    if (!state.stopped.empty())
      break;
    if (link.connected()) {
      const bool idling = link.client->idling();
      if (link.look_now || readable.contains(link.watched_fd) || link.client->IdleHasNews() ||
          (idling && then - link.idle_started >= state.options.idle_renewal) ||
          (!idling && then >= link.next_look))
        delivered += Service(state, link);
    } else if (link.job == nullptr && then >= link.retry_at) {
      StartConnecting(state, link);
    }
  }
  return delivered;
}

}  // namespace varnox
