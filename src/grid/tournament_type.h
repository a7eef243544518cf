#pragma once
// The kind of tournament being jumped, which decides the ramp allowance added to every
// measured distance.
#include "station/app_settings.h"

namespace tarvex {

enum class TournamentType { Standard, Barefoot, SitSki };

// The configuration screen never leaves both flags set, but the settings struct can hold
// them; barefoot then wins, as it always has for the allowance and the results line.
constexpr TournamentType tournamentType(bool barefootMode, bool sitSkiMode)
{
    if (barefootMode)
        return TournamentType::Barefoot;
    return sitSkiMode ? TournamentType::SitSki : TournamentType::Standard;
}

inline TournamentType tournamentType(const AppSettings& s)
{
    return tournamentType(s.BarefootMode, s.SitSkiMode);
}

} // namespace tarvex
