/*
 * The low-battery rule shared by the program, upsctl and the NUT driver: a
 * warning level and a critical level in percent of charge; a level is reached
 * while the module runs on battery and its charge is at or below the level.
 * A level of 0 is off.
 */
#ifndef QXUPSBATTERY_H
#define QXUPSBATTERY_H

static const int kQXUPS_DefaultWarnLevel = 20;
static const int kQXUPS_DefaultCriticalLevel = 5;

static inline bool QXUPS_LevelReached(int charge, int level, bool onBattery) {
    return onBattery && level > 0 && charge <= level;
}

#endif /* QXUPSBATTERY_H */
