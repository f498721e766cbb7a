#include "AccountCommands.h"
#include "ArchiveCommands.h"
#include "ChartCommands.h"
#include "Command.h"
#include "ConfigCommands.h"
#include "DbCommands.h"
#include "DeviceCommands.h"
#include "ListCommand.h"
#include "PollCommand.h"
#include "PortsCommand.h"
#include "RenderCommand.h"
#include "ReportCommand.h"

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<ListCommand>());
    commands.push_back(std::make_unique<PortsCommand>());
    commands.push_back(std::make_unique<AddCommand>());
    commands.push_back(std::make_unique<EditCommand>());
    commands.push_back(std::make_unique<DeleteCommand>());
    commands.push_back(std::make_unique<ExportDevicesCommand>());
    commands.push_back(std::make_unique<ShowArchiveCommand>());
    commands.push_back(std::make_unique<ImportArchiveCommand>());
    commands.push_back(std::make_unique<ExportArchiveCommand>());
    commands.push_back(std::make_unique<ExportDbCommand>());
    commands.push_back(std::make_unique<ReadArchiveCommand>());
    commands.push_back(std::make_unique<ReadConfigCommand>());
    commands.push_back(std::make_unique<ReadReportCommand>());
    commands.push_back(std::make_unique<SetClockCommand>());
    commands.push_back(std::make_unique<PollCommand>());
    commands.push_back(std::make_unique<ConfigReportCommand>());
    commands.push_back(std::make_unique<SaveConfigCommand>());
    commands.push_back(std::make_unique<CheckMapCommand>());
    commands.push_back(std::make_unique<ReportCommand>());
    commands.push_back(std::make_unique<RenderCommand>());
    commands.push_back(std::make_unique<ChartCommand>());
    commands.push_back(std::make_unique<QualityCommand>());
    commands.push_back(std::make_unique<DbCommand>());
    return commands;
}
