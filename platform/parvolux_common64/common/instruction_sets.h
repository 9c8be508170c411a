// Instruction sets some of the library's loops are built for apart, beside a way for any x86-64
// processor, and chosen at run time. Tests turn a set off to reach the other way on any
// processor.
#ifndef PARVOLUX_COMMON64_COMMON_INSTRUCTION_SETS_H
#define PARVOLUX_COMMON64_COMMON_INSTRUCTION_SETS_H

namespace parvolux {

enum class InstructionSet {
    Avx2,
    Bmi,  // BMI1 and BMI2
};

// Whether the processor has `set` and its loops are allowed.
bool usable(InstructionSet set);
void allow(InstructionSet set, bool allowed);

}  // namespace parvolux

#endif
