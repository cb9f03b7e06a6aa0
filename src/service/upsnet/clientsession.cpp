#include "upsnet/clientsession.h"

#include <strings.h>

#include "units/unittext.h"
#include "upsnet/variables.h"
#include "upsnet/wordline.h"

namespace tornavel::service::upsnet {

namespace {

// Protocol version served: the one RFC 9271 describes.
constexpr const char* kProtocolVersion = "1.3";
constexpr const char* kHelp =
    "Commands: HELP VER PROTVER NETVER STARTTLS USERNAME PASSWORD ATTACH LOGIN DETACH LOGOUT GET LIST";

bool Is(const std::string& word, const char* name)
{
    return ::strcasecmp(word.c_str(), name) == 0;
}

// A keyword as answers spell it, whatever case the command used.
std::string Upper(std::string word)
{
    for (char& c : word)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return word;
}

Reply Line(std::string line)
{
    return Reply{{std::move(line)}};
}
Reply Error(const char* name)
{
    return Line(std::string("ERR ") + name);
}

std::string Description(const ServedUnit& unit)
{
    const UnitSnapshot& s = unit.snapshot;
    const std::string model = UnitText(s.slots[kSlotModel]);
    const std::string serial = UnitText(s.slots[kSlotSerial]);
    if (!s.identified || model.empty()) return "unit on " + s.port + ", not identified yet";
    return serial.empty() ? model : model + ", serial " + serial;
}

// A unit that gives no current readings says so the RFC's way, never with old values.
const char* Unavailable(const ServedUnit& unit)
{
    return unit.snapshot.identified ? "DATA-STALE" : "DRIVER-NOT-CONNECTED";
}

}  // namespace

Session::Session(const SessionContext& context, std::uint64_t id, std::string address, bool anonymousReads)
    : context_(context), id_(id), address_(std::move(address)), anonymousReads_(anonymousReads)
{
}

Session::~Session()
{
    if (context_.attachments) context_.attachments->Detach(id_);
}

Reply Session::Answer(const std::string& line)
{
    const auto words = SplitWords(line);
    if (!words) return Error("INVALID-ARGUMENT");
    if (words->empty()) return Error("UNKNOWN-COMMAND");
    return Dispatch(*words);
}

Reply Session::Dispatch(const std::vector<std::string>& words)
{
    const std::string& command = words[0];
    const std::size_t count = words.size();
    if (Is(command, "VER") && count == 1) return Line(context_.version);
    if ((Is(command, "PROTVER") || Is(command, "NETVER")) && count == 1) return Line(kProtocolVersion);
    if (Is(command, "HELP") && count == 1) return Line(kHelp);
    if (Is(command, "STARTTLS") && count == 1) {
        if (tls_) return Error("TLS-ALREADY-ENABLED");
        if (!context_.tlsAvailable) return Error("FEATURE-NOT-CONFIGURED");
        return Reply{{"OK STARTTLS"}, Reply::Then::StartTls};
    }
    if (Is(command, "USERNAME")) return SetCredential(username_, words, "ALREADY-SET-USERNAME");
    if (Is(command, "PASSWORD")) return SetCredential(password_, words, "ALREADY-SET-PASSWORD");
    if (Is(command, "ATTACH") || Is(command, "LOGIN")) return Attach(words);
    if ((Is(command, "DETACH") || Is(command, "LOGOUT")) && count == 1) {
        if (context_.attachments) context_.attachments->Detach(id_);
        return Reply{{"OK Goodbye"}, Reply::Then::Close};
    }
    if (Is(command, "GET")) return Get(words);
    if (Is(command, "LIST")) return List(words);
    // The primary is this monitor itself; nothing from the network may set
    // the forced shutdown, a value or start a command on a unit.
    if ((Is(command, "PRIMARY") || Is(command, "MASTER") || Is(command, "FSD")) && count == 2)
        return Error("ACCESS-DENIED");
    if (Is(command, "SET") && count == 5 && Is(words[1], "VAR")) {
        if (!MayRead()) return Error("ACCESS-DENIED");
        if (!FindUnit(words[2])) return Error("UNKNOWN-UPS");
        if (!FindVariable(words[3])) return Error("VAR-NOT-SUPPORTED");
        return Error("READONLY");
    }
    if (Is(command, "INSTCMD") && (count == 3 || count == 4)) {
        if (!MayRead()) return Error("ACCESS-DENIED");
        if (!FindUnit(words[1])) return Error("UNKNOWN-UPS");
        return Error("CMD-NOT-SUPPORTED");
    }
    const char* known[] = {"VER",    "PROTVER", "NETVER", "HELP", "STARTTLS", "DETACH",
                           "LOGOUT", "PRIMARY", "MASTER", "FSD",  "SET",      "INSTCMD"};
    for (const char* name : known)
        if (Is(command, name)) return Error("INVALID-ARGUMENT");
    return Error("UNKNOWN-COMMAND");
}

Reply Session::SetCredential(std::optional<std::string>& credential, const std::vector<std::string>& words,
                             const char* alreadySet)
{
    if (words.size() != 2) return Error("INVALID-ARGUMENT");
    if (credential) return Error(alreadySet);
    credential = words[1];
    passwordMatched_.reset();
    return Line("OK");
}

bool Session::LoggedIn()
{
    if (!username_ || !password_) return false;
    if (!passwordMatched_) {
        const auto user = context_.users.find(*username_);
        // An unknown name pays a check too, so that the time taken does not
        // tell which names are users; its decoy matches no password.
        const bool matches = context_.passwordMatches(user != context_.users.end() ? user->second : context_.decoyHash,
                                                      *password_);
        passwordMatched_ = user != context_.users.end() && matches;
    }
    return *passwordMatched_;
}

bool Session::MayRead()
{
    return anonymousReads_ || LoggedIn();
}

std::optional<ServedUnit> Session::FindUnit(const std::string& name) const
{
    const auto units = context_.units();
    for (const ServedUnit& unit : units)
        if (unit.name == name) return unit;
    // Names are not case sensitive in the protocol; an exact match wins.
    for (const ServedUnit& unit : units)
        if (::strcasecmp(unit.name.c_str(), name.c_str()) == 0) return unit;
    return std::nullopt;
}

Reply Session::Attach(const std::vector<std::string>& words)
{
    if (words.size() != 2) return Error("INVALID-ARGUMENT");
    if (!username_) return Error("USERNAME-REQUIRED");
    if (!password_) return Error("PASSWORD-REQUIRED");
    if (!LoggedIn()) return Error("ACCESS-DENIED");
    // Answered in the words of the command used: ATTACH is the RFC's, LOGIN the older one.
    if (context_.attachments->IsAttached(id_))
        return Error(Is(words[0], "LOGIN") ? "ALREADY-LOGGED-IN" : "ALREADY-ATTACHED");
    const auto unit = FindUnit(words[1]);
    if (!unit) return Error("UNKNOWN-UPS");
    context_.attachments->Attach(id_, {unit->name, address_, *username_});
    return Line("OK");
}

Reply Session::Get(const std::vector<std::string>& words)
{
    const std::size_t count = words.size();
    if (count < 3) return Error("INVALID-ARGUMENT");
    const std::string& what = words[1];
    const bool withName = Is(what, "VAR") || Is(what, "TYPE") || Is(what, "DESC") || Is(what, "CMDDESC");
    const bool unitOnly = Is(what, "UPSDESC") || Is(what, "NUMATTACH") || Is(what, "NUMLOGINS");
    if (!(withName && count == 4) && !(unitOnly && count == 3)) return Error("INVALID-ARGUMENT");
    if (!MayRead()) return Error("ACCESS-DENIED");
    const auto unit = FindUnit(words[2]);
    if (!unit) return Error("UNKNOWN-UPS");
    const std::string head = Upper(what) + " " + WordText(words[2]);
    if (Is(what, "UPSDESC")) return Line(head + " " + QuotedText(Description(*unit)));
    if (unitOnly) return Line(head + " " + std::to_string(context_.attachments->Of(unit->name).size()));
    if (Is(what, "CMDDESC")) return Error("CMD-NOT-SUPPORTED");

    const Variable* variable = FindVariable(words[3]);
    if (!variable) return Error("VAR-NOT-SUPPORTED");
    const std::string named = head + " " + WordText(words[3]);
    if (Is(what, "TYPE")) return Line(named + " " + TypeOf(*variable));
    if (Is(what, "DESC")) return Line(named + " " + QuotedText(variable->description));

    const UnitSnapshot& s = unit->snapshot;
    // The primary's decision is current whatever the unit says: a silent
    // unit still shows FSD, and nothing else.
    if (!s.up && !(unit->forcedShutdown && variable->form == Form::Status)) return Error(Unavailable(*unit));
    const auto value = ValueOf(*variable, s, unit->forcedShutdown);
    if (!value) return Error(variable->everyCycle ? "DATA-STALE" : "VAR-NOT-SUPPORTED");
    return Line(named + " " + QuotedText(*value));
}

Reply Session::List(const std::vector<std::string>& words)
{
    const std::size_t count = words.size();
    if (count < 2) return Error("INVALID-ARGUMENT");
    const std::string& what = words[1];
    if (Is(what, "UPS")) {
        if (count != 2) return Error("INVALID-ARGUMENT");
        if (!MayRead()) return Error("ACCESS-DENIED");
        Reply reply{{"BEGIN LIST UPS"}};
        for (const ServedUnit& unit : context_.units())
            reply.lines.push_back("UPS " + WordText(unit.name) + " " + QuotedText(Description(unit)));
        reply.lines.push_back("END LIST UPS");
        return reply;
    }
    const bool unitOnly = Is(what, "VAR") || Is(what, "RW") || Is(what, "CMD") || Is(what, "CLIENT");
    const bool withName = Is(what, "ENUM") || Is(what, "RANGE");
    if (!(unitOnly && count == 3) && !(withName && count == 4)) return Error("INVALID-ARGUMENT");
    if (!MayRead()) return Error("ACCESS-DENIED");
    const auto unit = FindUnit(words[2]);
    if (!unit) return Error("UNKNOWN-UPS");
    if (withName && !FindVariable(words[3])) return Error("VAR-NOT-SUPPORTED");

    std::string subject = Upper(what) + " " + WordText(words[2]);
    if (withName) subject += " " + WordText(words[3]);
    Reply reply{{"BEGIN LIST " + subject}};
    if (Is(what, "VAR")) {
        const UnitSnapshot& s = unit->snapshot;
        if (!s.up && !unit->forcedShutdown) return Error(Unavailable(*unit));
        for (const Variable& variable : Variables()) {
            if (!s.up && variable.form != Form::Status) continue;
            if (const auto value = ValueOf(variable, s, unit->forcedShutdown))
                reply.lines.push_back("VAR " + WordText(words[2]) + " " + variable.name + " " + QuotedText(*value));
        }
    } else if (Is(what, "CLIENT")) {
        for (const auto& follower : context_.attachments->Of(unit->name))
            reply.lines.push_back("CLIENT " + WordText(words[2]) + " " + WordText(follower.address));
    }
    // RW, CMD, ENUM and RANGE: nothing here may be set or commanded.
    reply.lines.push_back("END LIST " + subject);
    return reply;
}

}  // namespace tornavel::service::upsnet
