namespace Bitarray {

void UnitInit() {}
void UnitDone() {}

}  // namespace Bitarray
