// Teaching the filter from a message: what Mark Spam, Not Spam and training
// do with each message, and what decides between learning it afresh and
// correcting an earlier lesson (the learning marks of its headers).
#ifndef VARNOX_MAIL_MESSAGE_LEARNING_H_
#define VARNOX_MAIL_MESSAGE_LEARNING_H_

#include <string_view>

#include "host/message.h"

namespace varnox {

struct MailContext;

// Learns body and subject as spam (`spam` non-zero) or clean. 0 without
// doing so when the headers cannot be read, carry "X-VNX-LEARN:Spam"
// (whatever `spam` says), or the body or subject cannot be read; else 1,
// whatever the filter made of it.
int LearnFromMessage(MailContext& addin, host::Message& message, int spam);

// Moves an earlier lesson to the side `spam` names and retrains. Reads body
// and subject only (the second judge's header tokens move when the caller
// gives the headers it read); 0 when either cannot be read, else 1.
int RelearnFromMessage(MailContext& addin, host::Message& message, int spam,
                       std::string_view headers = {});

// RelearnFromMessage when the headers carry a learning mark, else
// LearnFromMessage; gives the result of the one that ran.
int LearnOrRelearn(MailContext& addin, host::Message& message, int spam);

}  // namespace varnox

#endif  // VARNOX_MAIL_MESSAGE_LEARNING_H_
