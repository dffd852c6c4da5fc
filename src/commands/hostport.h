// Host port library (-H): no operation does anything.
#pragma once

class commandHostPort {
public:
    commandHostPort() = default;
};
