#include "phone/lamp_bank.h"

namespace vorpel {

void LampBank::darkenAll() {
    lampShadow_.fill(0);
    lit_.fill(false);
}

void LampBank::update(std::span<const uint8_t> indicators, uint32_t rawTickCount) {
    for (const LampDrive& drive : LAMP_DRIVES) {
        const uint8_t state = drive.indicator < indicators.size() ? indicators[drive.indicator] : 0;
        bool& lamp = lit_[drive.column];
        uint8_t& shadow = lampShadow_[drive.indicator];
        if (state != shadow) {
            shadow = state;
            if (drive.rule == LampRule::Group) {
                if (state == 0) lamp = false;
                if (state == 3) lamp = true;
            } else {
                lamp = state != 0;
            }
        }
        if (drive.rule == LampRule::OnOff) continue;
        if (shadow == 1) {  // fast blink, 400 ms
            if (rawTickCount % 4 == 3) lamp = false;
            if (rawTickCount % 4 == 1) lamp = true;
        } else if (shadow == 2) {  // slow blink, 1.6 s
            if (rawTickCount % 16 == 15) lamp = false;
            if (rawTickCount % 16 == 7) lamp = true;
        }
    }
}

}  // namespace vorpel
