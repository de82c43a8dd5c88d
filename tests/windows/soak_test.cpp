// Ten thousand whole cycles through the real windows: every result right, no widget left behind,
// and resident memory flat once the program has warmed up.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QApplication>
#include <QLineEdit>
#include <fstream>
#include <iostream>
#include <string>

#include "program_driver.h"

namespace {

using Driver = ProgramDriver;

#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer keeps freed memory in quarantine, so resident memory measures the sanitizer;
// its leak check at the end measures the program instead.
constexpr bool ResidentMemoryIsTheProgramsOwn = false;
#else
constexpr bool ResidentMemoryIsTheProgramsOwn = true;
#endif

long ResidentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Seven characters that change from cycle to cycle and mix digits with a letter now and then.
std::u16string Number(int cycle) {
    std::u16string number = std::u16string(u"0000000") + std::u16string(QString::number(cycle * 7919).toStdU16String());
    number = number.substr(number.size() - 7);
    if (cycle % 10 == 0) {
        number[std::size_t(cycle / 10 % 7)] = u'x';
    }
    return number;
}

TEST(Soak, TenThousandCyclesStayRightAndFlat) {
    constexpr int Cycles = 10000;
    constexpr int Thousand = 1000;
    const Driver program;
    Driver::Type(u"1");
    Driver::Convert();
    Driver::Ok();
    Driver::Settle();
    const auto widgets = QApplication::allWidgets().size();
    long afterFirstThousand = 0;
    for (int cycle = 1; cycle <= Cycles; ++cycle) {
        const std::u16string number = Number(cycle);
        Driver::Type(number);
        Driver::Convert();
        ASSERT_EQ(Driver::Columns(), ExpectedColumns(number)) << "cycle " << cycle;
        Driver::Ok();
        Driver::Settle();
        ASSERT_TRUE(Driver::Entry()->text().isEmpty()) << "cycle " << cycle;
        ASSERT_EQ(QApplication::allWidgets().size(), widgets) << "cycle " << cycle;
        if (cycle == Thousand) {
            afterFirstThousand = ResidentKilobytes();
        }
    }
    const long atTheEnd = ResidentKilobytes();
    std::cout << "Resident memory after 1,000 cycles: " << afterFirstThousand << " KiB; after " << Cycles << ": "
              << atTheEnd << " KiB\n";
    if (ResidentMemoryIsTheProgramsOwn) {
        EXPECT_LE(atTheEnd, afterFirstThousand + afterFirstThousand / 50);
    }
}

}  // namespace
