// The peak-temperature monitor's sampling loop and its buttons.
#include "boards/tcl/brimola_peak_temps_dlg.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "framework/log_file.h"
#include "framework/param_string.h"
#include "framework/test_record.h"
#include "platform/clock.h"

namespace {

struct Sensor {
    const char* symbol;
    const char* name;
};
constexpr Sensor kSensor[CBrimolaPeakTempsDlg::kSensors] = {
    {"LTEMP", "Local"}, {"1TEMP", "Wexal"}, {"2TEMP", "Kerzil"}, {"3TEMP", "SulvethA"}};

// A diode reading this much or more is not a temperature (the part reads an open or shorted diode).
constexpr DWORD kBadReading = 200;
constexpr int kBadReadingsToFail = 50;

bool StopRequested() {
    const int* flag = g_StopFlag();
    return flag && *flag != 0;
}

const char* Enabled(bool on) { return on ? "enabled" : "disabled"; }

}  // namespace

CBrimolaPeakTempsDlg::CBrimolaPeakTempsDlg(CWexalTreeMapTB* board, const CString& parameters, int unique, void*)
    : m_board(board), m_parameters(parameters), m_unique(unique) {}

bool CBrimolaPeakTempsDlg::WaitsInRealTime(platform::ClockMode mode, const platform::DialogRunner* runner, bool terminal) {
    if (mode != platform::ClockMode::Virtual || !runner || !terminal) return false;
    return !dynamic_cast<const platform::HeadlessDialogRunner*>(runner) &&
           !dynamic_cast<const platform::ScriptedDialogRunner*>(runner);
}

int CBrimolaPeakTempsDlg::DoModal() { return platform::DoModal(*this); }

DWORD CBrimolaPeakTempsDlg::GetPeak(int sensor) const {
    return sensor >= 0 && sensor < kSensors ? m_peak[sensor] : 0;
}

CString CBrimolaPeakTempsDlg::Describe() const {
    CString s("Peaks:");
    for (int i = 0; i < kSensors; ++i) s.AppendFormat(" %s %u", kSensor[i].name, static_cast<unsigned>(m_peak[i]));
    s.AppendFormat("\nbegin \"&Begin Loop\" %s, end \"&End Loop\" %s, close \"&Close\" %s\nText:\n%s",
                   Enabled(!m_looping), Enabled(m_looping), Enabled(!m_looping), m_text.c_str());
    return s;
}

bool CBrimolaPeakTempsDlg::Apply(const platform::DialogAction& action, CString& error) {
    if (action.verb == "begin" && !m_looping) {
        OnBeginLoop();
        return true;
    }
    if (action.verb == "end" && m_looping) {
        m_looping = false;  // the running loop ends after its current cycle
        return true;
    }
    if (action.verb == "begin" || action.verb == "end") error.Format("\"%s\" is disabled now", action.verb.c_str());
    return false;
}

bool CBrimolaPeakTempsDlg::OnOk(CString& error) {
    if (m_looping) error = "\"close\" is disabled while the loop runs";
    return !m_looping;
}

void CBrimolaPeakTempsDlg::Log(const CString& line) {
    if (m_logFile.IsEmpty()) return;
    CLogFile log(m_logFile);
    if (!log.Append(line.c_str(), static_cast<DWORD>(line.GetLength()))) m_logFailure = AppendFailureText(m_logFile, errno);
}

void CBrimolaPeakTempsDlg::OnBeginLoop() {
    CParamString(m_parameters).GetValueAsWritten("FILE", m_logFile);  // created as the user wrote it
    Log("Local, Wexal, Kerzil, SulvethA : MaxLocal, MaxWexal, MaxKerzil, MaxSulvethA\r\r\n");
    m_looping = true;
    const bool realTime =
        WaitsInRealTime(platform::GetClockMode(), platform::GetDialogRunner(), isatty(STDIN_FILENO) != 0);
    DWORD reading[kSensors] = {};  // a failed read keeps the sensor's last reading of this loop
    while (m_looping) {
        for (int i = 0; i < kSensors; ++i) {
            for (int bad = 0;;) {
                if (m_board) m_board->ReadTemperature(kSensor[i].symbol, &reading[i]);
                if (reading[i] < kBadReading) break;
                if (++bad < kBadReadingsToFail) continue;
                CString failure;
                failure.Format("%s temp reading > %u\r\r\n", kSensor[i].name, static_cast<unsigned>(kBadReading));
                m_text += failure;
                m_looping = false;
                Log(failure);
                break;
            }
            if (!m_looping) break;
        }
        if (!m_looping) break;

        CString sample;
        sample.Format("%d, %d, %d, %d : %d, %d, %d, %d\r\r\n", int(reading[0]), int(reading[1]), int(reading[2]),
                      int(reading[3]), int(std::max(reading[0], m_peak[0])), int(std::max(reading[1], m_peak[1])),
                      int(std::max(reading[2], m_peak[2])), int(std::max(reading[3], m_peak[3])));
        Log(sample);

        bool risen = false;
        for (int i = 0; i < kSensors; ++i) {
            if (reading[i] <= m_peak[i]) continue;
            m_peak[i] = reading[i];
            risen = true;
            if (m_unique == 1) m_text.AppendFormat("%s:  %d\r\r\n", kSensor[i].name, int(reading[i]));
        }
        if (risen && m_unique == 0)
            m_text.AppendFormat("Local[%d]  Wexal[%d] Kerzil[%d]  SulvethA[%d]\r\r\n", int(m_peak[0]), int(m_peak[1]),
                                int(m_peak[2]), int(m_peak[3]));

        // The runner delivers "end" (or closes the dialog) here; running out of input ends the loop
        // too, as does the host's stop request, so an unattended run cannot hang.
        if (!platform::PumpDialog(*this) || StopRequested()) m_looping = false;
        Sleep(1);
        if (realTime) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_unique == 1) {
        m_text += "\r\r\n";
        for (int i = 0; i < kSensors; ++i) m_text.AppendFormat("%s:  %d\r\r\n", kSensor[i].name, int(m_peak[i]));
    }
}
